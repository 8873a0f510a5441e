#include "cli/run_commands.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unordered_map>
#include <variant>

#include "cli/connection.h"
#include "cli/request_commands.h"
#include "cli/request_outcome.h"
#include "cli/result_output.h"
#include "cli/scene_database.h"
#include "cli/tool_exchange.h"

namespace veltra::cli {
namespace {

// The tool's commands that do more than send one request.
constexpr const char* kNotForRun[] = {"scan", "plan", "monitor", "run", "completion"};

struct RunLine {
  int line = 0;
  std::string text;  // the line without its comment and outer blanks
  const RequestSpec* spec = nullptr;
  RequestValues values;
};

// A line's command, or why it is none; nothing for a blank or comment line.
using ParsedLine = std::variant<std::monostate, RunLine, std::string>;

// Parses lines with the requests' own declarations; one application, its
// values set back to their defaults before every line. Lines seen before
// are not parsed again.
class LineParser {
 public:
  LineParser() : app_("", "veltra-cli run") {
    app_.set_help_flag();  // and so none on the commands
    app_.require_subcommand(1);
    requests_ = std::make_unique<RequestCommands>(app_);
  }

  ParsedLine Parse(const std::string& raw, int number) {
    const auto words = SplitWords(raw);
    if (!words) return std::string("a quote is not closed");
    if (words->empty()) return std::monostate{};
    std::string text;
    for (const std::string& w : *words) text += (text.empty() ? "" : " ") + w;
    auto cached = cache_.find(text);
    if (cached == cache_.end()) cached = cache_.emplace(text, ParseWords(*words, text)).first;
    ParsedLine parsed = cached->second;
    if (auto* command = std::get_if<RunLine>(&parsed)) command->line = number;
    return parsed;
  }

 private:
  ParsedLine ParseWords(const std::vector<std::string>& words, const std::string& text) {
    for (const char* other : kNotForRun)
      if (words.front() == other)
        return "'" + words.front() + "' is not for run: run takes the commands that send one request";
    requests_->Reset();
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
      app_.parse(reversed);
    } catch (const CLI::ParseError& error) {
      const auto unknown = UnknownCommand(app_, words);
      return unknown ? *unknown : std::string(error.what());
    }
    const RequestSpec* spec = requests_->Chosen();
    if (!spec) return std::string("no command");
    if (!requests_->SendTo().empty()) return std::string("--to is not for run: its commands share one link");
    try {
      return RunLine{0, text, spec, requests_->Values()};
    } catch (const UsageError& error) {
      return std::string(error.what());
    }
  }

  CLI::App app_;
  std::unique_ptr<RequestCommands> requests_;
  std::unordered_map<std::string, ParsedLine> cache_;
};

// Lines of the input, one at a time. The standard input is watched beside
// the stop, so that a stop ends a wait for the next line at once.
class LineSource {
 public:
  LineSource(std::istream* stream, StopSignal* stop) : stream_(stream), stop_(stop) {}

  std::optional<std::string> Next() {
    if (stream_) {
      std::string line;
      if (!std::getline(*stream_, line)) return std::nullopt;
      return line;
    }
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      if (ended_) {
        if (pending_.empty()) return std::nullopt;
        return std::exchange(pending_, {});
      }
      pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {stop_ ? stop_->Handle() : -1, POLLIN, 0}};
      if (::poll(waits, stop_ ? 2 : 1, -1) < 0 && errno != EINTR) return std::nullopt;
      if (stop_ && stop_->Raised()) return std::nullopt;
      if (!(waits[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[4096];
      const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ended_ = true;
      else pending_.append(chunk, static_cast<std::size_t>(n));
    }
  }

 private:
  std::istream* stream_;
  StopSignal* stop_;
  std::string pending_;
  bool ended_ = false;
};

class Runner {
 public:
  Runner(const GlobalOptions& o, Environment env, Link& link, SceneDatabase* db, bool keepGoing)
      : o_(o), env_(env), link_(link), db_(db), keepGoing_(keepGoing),
        exchange_(link, o.link, !o.showBytes, LogPrinter()) {}

  // Sends one command and prints it; false when the run stops here.
  bool Send(const RunLine& c) {
    ExchangeResult e = exchange_.Request(*c.spec, c.values, o_.link.subnet);
    ThrowIfLinkFailed(e, link_);
    if (e.interrupted) return false;
    ++done_;
    if (e.outcome == ExchangeOutcome::Answered) ++answered_;
    Print(c, e);
    ApplySceneEffect(e, db_);
    return Failed(ExitFor(e), c.line);
  }

  // A line that is no command (standard input only); false when the run stops here.
  bool Refuse(int line, const std::string& source, const std::string& why) {
    if (o_.json)
      env_.out << JsonLine(nlohmann::ordered_json{{"line", line}, {"error", why}}) << '\n';
    else
      env_.err << "veltra-cli: " << source << ':' << line << ": " << why << '\n';
    return Failed(kExitUsage, line);
  }

  int Exit() const { return exit_; }
  int Done() const { return done_; }
  int Answered() const { return answered_; }
  void Flush() { env_.out << std::flush; }

 private:
  bool Failed(int status, int line) {
    if (status == kExitOk) return true;
    if (exit_ == kExitOk) exit_ = status;
    if (keepGoing_) return true;
    env_.out << std::flush;
    env_.err << "veltra-cli: stopped at line " << line << "; --keep-going runs the rest\n";
    return false;
  }

  // The log lines of --show-bytes, before each command's line.
  ToolExchange::Printer LogPrinter() {
    if (!o_.showBytes || o_.json || o_.quiet) return {};
    return [this](const std::string& line) { env_.out << "  " << line << '\n'; };
  }

  void Print(const RunLine& c, const ExchangeResult& e) {
    if (o_.json) {
      JsonWriter json;
      json.Begin().Key("line").Int(c.line);
      WriteExchange(json, e);
      env_.out << json.End().Text() << '\n';
      return;
    }
    const bool answered = e.outcome == ExchangeOutcome::Answered;
    const std::string outcome = answered ? e.decoded.statusWord : NoAnswerText(e, o_.link);
    if (o_.quiet) {
      if (answered && e.status == kStatusOk)
        for (const std::string& line : QuietLines(e.decoded)) env_.out << line << '\n';
      else
        env_.err << "veltra-cli: line " << c.line << ": " << c.text << ": " << outcome << '\n';
      return;
    }
    env_.out << c.text << ": " << outcome;
    if (answered)
      for (const std::string& line : ResultLines(e.decoded)) env_.out << "; " << line;
    env_.out << '\n';
  }

  const GlobalOptions& o_;
  Environment env_;
  Link& link_;
  SceneDatabase* db_;
  bool keepGoing_;
  ToolExchange exchange_;
  int exit_ = kExitOk;
  int done_ = 0, answered_ = 0;
};

std::string Reason(const std::string& path) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) return std::strerror(EISDIR);
  return std::strerror(errno);
}

}  // namespace

std::optional<std::vector<std::string>> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < line.size()) {
        word += line[++i];
      } else {
        word += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(std::exchange(word, {}));
      inWord = false;
      continue;
    }
    if (c == '#' && !inWord) break;
    inWord = true;
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
    } else {
      word += c;
    }
  }
  if (quote) return std::nullopt;
  if (inWord) words.push_back(word);
  return words;
}

RunCommand::RunCommand(CLI::App& app) {
  command_ = app.add_subcommand("run", "send the commands of a file (- for the standard input), one a line, over one link");
  command_->add_option("FILE", source_, "one command a line, as on the command line; '#' starts a comment")->required();
  command_->add_flag("--keep-going", keepGoing_, "go on after a command that fails");
}

void RunCommand::Check(const GlobalOptions& o) const {
  if (source_ == "-" && o.RepeatGiven() && o.repeat > 1)
    throw UsageError("--repeat needs a FILE: the standard input is read once");
}

int RunCommand::Run(const GlobalOptions& o, Environment env) {
  const bool standardInput = source_ == "-";
  const std::string name = standardInput ? "-" : source_;
  LineParser parser;
  std::vector<RunLine> commands;
  if (!standardInput) {
    std::ifstream file(source_);
    std::string line;
    // A directory opens but reads nothing.
    if (!file || (!std::getline(file, line) && (file.bad() || std::filesystem::is_directory(source_)))) {
      env.err << "veltra-cli: cannot read the commands " << source_ << " (" << Reason(source_) << ")\n";
      return kExitUsage;
    }
    // Every line checked before anything is sent.
    int number = 1, errors = 0;
    for (bool more = true; more; more = static_cast<bool>(std::getline(file, line)), ++number) {
      ParsedLine parsed = parser.Parse(line, number);
      if (auto* why = std::get_if<std::string>(&parsed)) {
        env.err << "veltra-cli: " << source_ << ':' << number << ": " << *why << '\n';
        ++errors;
      } else if (auto* command = std::get_if<RunLine>(&parsed)) {
        commands.push_back(std::move(*command));
      }
    }
    if (errors) return kExitUsage;
    if (commands.empty()) {
      env.err << "veltra-cli: " << source_ << " holds no command\n";
      return kExitUsage;
    }
  }

  std::unique_ptr<SceneDatabase> db;
  const bool scenes = standardInput || std::any_of(commands.begin(), commands.end(), [](const RunLine& c) {
                        return c.spec->scene != SceneEffect::None;
                      });
  if (!o.sceneDb.empty() && scenes) db = std::make_unique<SceneDatabase>(o.sceneDb, true);
  Connection connection(o, env.stop);
  Runner runner(o, env, connection.link(), db.get(), keepGoing_);
  const auto start = std::chrono::steady_clock::now();
  bool going = true;
  if (standardInput) {
    LineSource lines(env.in, env.stop);
    for (int number = 1; going; ++number) {
      runner.Flush();  // what was done is out before the next line is waited for
      const std::optional<std::string> line = lines.Next();
      if (!line) break;
      ParsedLine parsed = parser.Parse(*line, number);
      if (auto* why = std::get_if<std::string>(&parsed))
        going = runner.Refuse(number, name, *why);
      else if (auto* command = std::get_if<RunLine>(&parsed))
        going = runner.Send(*command);
    }
  } else {
    for (int round = 0; going && round < o.repeat; ++round) {
      if (round > 0 && o.intervalMs > 0 && StoppedWithin(env.stop, o.intervalMs)) break;
      for (const RunLine& command : commands)
        if (!(going = runner.Send(command))) break;
    }
  }
  runner.Flush();
  if (o.repeat > 1) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    env.err << runner.Done() << " commands, " << runner.Answered() << " answered in " << seconds << " s: "
            << (seconds > 0 ? runner.Done() / seconds : 0) << " requests/s\n";
  }
  connection.Close();
  if (env.stop && env.stop->Raised()) {
    env.err << "veltra-cli: interrupted after " << runner.Done();
    if (!standardInput) env.err << " of " << commands.size() * static_cast<std::size_t>(o.repeat);
    env.err << (runner.Done() == 1 && standardInput ? " command\n" : " commands\n");
    return ExitForSignal(env.stop->Reason());
  }
  return runner.Exit();
}

}  // namespace veltra::cli
