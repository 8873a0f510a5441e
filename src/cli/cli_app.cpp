#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>

#include "cli/completion.h"
#include "cli/connection.h"
#include "cli/global_options.h"
#include "cli/history_commands.h"
#include "cli/monitor.h"
#include "cli/request_commands.h"
#include "cli/request_outcome.h"
#include "cli/result_output.h"
#include "cli/run_commands.h"
#include "cli/scene_database.h"
#include "cli/storage_error.h"
#include "cli/tool_commands.h"
#include "cli/tool_exchange.h"
#include "history/history_writer.h"
#include "history/history_writer.h"
#include "link/serial_link.h"

namespace veltra::cli {
namespace {

// How long the serial line may take to send what is queued before the tool ends.
constexpr int kFlushMs = 2000;

// One request, --repeat times: the window's log lines and the result, or one
// JSON object per request, or with --quiet the result's values alone.
class Requests {
 public:
  Requests(const GlobalOptions& options, Environment env) : o_(options), env_(env) {}

  int Run(Link& link, const RequestSpec& spec, const RequestValues& values, SceneDatabase* db) {
    ToolExchange exchange(link, o_.link, !o_.showBytes, Printer());
    int exit = kExitOk;
    std::vector<double> roundTrips;
    int done = 0;
    std::optional<ExchangeResult> interrupted;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < o_.repeat; ++i) {
      if (i > 0 && o_.intervalMs > 0 && StoppedWithin(env_.stop, o_.intervalMs)) break;
      ExchangeResult e = exchange.Request(spec, values, o_.link.subnet);
      ThrowIfLinkFailed(e, link);
      if (e.interrupted) {
        interrupted = std::move(e);
        break;
      }
      ++done;
      Print(e);
      ApplySceneEffect(e, db);
      if (e.outcome == ExchangeOutcome::Answered)
        roundTrips.push_back(std::chrono::duration<double, std::milli>(e.roundTrip).count());
      if (exit == kExitOk) exit = ExitFor(e);
    }
    env_.out << std::flush;
    if (o_.repeat > 1) Summary(done, roundTrips, std::chrono::steady_clock::now() - start);
    if (env_.stop && env_.stop->Raised()) {
      if (o_.repeat > 1)
        env_.err << "veltra-cli: interrupted after " << done << " of " << Counted(o_.repeat, "request", "requests")
                 << '\n';
      else
        env_.err << "veltra-cli: interrupted "
                 << (interrupted && interrupted->sent ? "while waiting for the reply" : "before the request was sent")
                 << '\n';
      return ExitForSignal(env_.stop->Reason());
    }
    // A request that waited for nothing may still be queued for the line.
    if (auto* serial = dynamic_cast<SerialLink*>(&link); serial && !serial->Flush(kFlushMs))
      throw LinkError("the serial line did not take the request in time");
    return exit;
  }

 private:
  // Log lines on the standard output, unless it carries JSON or only results.
  ToolExchange::Printer Printer() {
    if (o_.json || o_.quiet) return {};
    return [this](const std::string& line) { env_.out << line << '\n'; };
  }

  void Print(const ExchangeResult& e) {
    if (o_.json) {
      env_.out << ExchangeJson(e) << '\n';
      return;
    }
    if (e.outcome != ExchangeOutcome::Answered) {
      if (e.notAFrame)
        env_.err << "veltra-cli: " << NoAnswerText(e, o_.link) << '\n';
      else
        env_.err << "No reply within " << o_.link.timeoutMs << " ms\n";
      return;
    }
    if (o_.quiet) {
      if (e.status != kStatusOk) env_.err << "veltra-cli: the reply says \"" << e.decoded.statusWord << "\"\n";
      else
        for (const std::string& line : QuietLines(e.decoded)) env_.out << line << '\n';
      return;
    }
    for (const std::string& line : ResultLines(e.decoded)) env_.out << line << '\n';
  }

  void Summary(int done, std::vector<double> roundTrips, std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    env_.err << done << " requests, " << roundTrips.size() << " replies in " << seconds << " s: "
             << (seconds > 0 ? done / seconds : 0) << " requests/s";
    if (!roundTrips.empty()) {
      std::nth_element(roundTrips.begin(), roundTrips.begin() + roundTrips.size() / 2, roundTrips.end());
      env_.err << ", median round trip " << roundTrips[roundTrips.size() / 2] << " ms";
    }
    env_.err << '\n';
  }

  const GlobalOptions& o_;
  Environment env_;
};

// Throws UsageError when no link or a bad UDP port is named.
void CheckLinkNamed(const LinkOptions& link) {
  if (link.udp.empty() && link.serial.empty()) throw UsageError("name the link: --udp HOST[:PORT] or --serial DEVICE");
  try {
    if (link.Udp()) SplitHostPort(link.udp);
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
}

int Usage(Environment env, const CLI::App& app, const std::string& message) {
  env.err << "veltra-cli: " << message << "\n\n" << app.help();
  return kExitUsage;
}

// The options that only some commands honour, refused by the others.
void RefuseUnhonoured(const GlobalOptions& o, const std::string& command, bool repeats, bool json, bool quiet) {
  if (!repeats && (o.RepeatGiven() || o.IntervalGiven()))
    throw UsageError(std::string(o.RepeatGiven() ? "--repeat" : "--interval") + " is not for " + command +
                     ": it repeats a command that sends one request, or the commands of run");
  if (!json && o.json) throw UsageError("--json is not for " + command);
  if (!quiet && o.quiet) throw UsageError("--quiet is not for " + command);
}

}  // namespace

int Run(const std::vector<std::string>& args, Environment env) {
  CLI::App app{"Sends the console's requests to the bus and prints the replies.", "veltra-cli"};
  // Global options after the command too: "light on 1 1 --udp HOST".
  app.fallthrough();
  app.require_subcommand(1);
  app.set_version_flag("--version", "veltra-cli " VELTRA_VERSION);
  GlobalOptions o;
  AddGlobalOptions(app, o);

  RequestCommands requests(app);
  CLI::App* monitor = app.add_subcommand("monitor", "print every valid frame received, with its time and sender, until interrupted");
  bool record = false;
  monitor->add_flag("--history", record, "record every frame into the frame history (veltra-cli history, stats)");
  ToolCommands tools(app);
  HistoryCommands histories(app);
  RunCommand run(app);
  CLI::App* completion = app.add_subcommand("completion", "print the shell completion script for bash, zsh or fish");
  std::string shell;
  completion->add_option("SHELL", shell, "bash, zsh or fish")->required()->check(CLI::IsMember({"bash", "zsh", "fish"}));

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    env.out << app.help();
    return kExitOk;
  } catch (const CLI::CallForVersion& version) {
    env.out << version.what() << '\n';
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    // Help for the command that was being parsed, when there is one.
    const CLI::App* where = &app;
    if (const CLI::App* leaf = requests.ChosenCommand()) where = leaf;
    for (const CLI::App* other : {static_cast<const CLI::App*>(monitor), tools.ChosenOrParent(),
                                  run.Command(), static_cast<const CLI::App*>(completion), histories.Chosen()})
      if (other && other->parsed()) where = other;
    const auto unknown = UnknownCommand(app, args);
    return Usage(env, *where, unknown ? *unknown : std::string(error.what()));
  }

  int result = kExitOk;
  try {
    if (completion->parsed()) {
      RefuseUnhonoured(o, "completion", false, false, false);
      env.out << CompletionScript(app, shell);
      return kExitOk;
    }
    if (const CLI::App* history = histories.Chosen()) {
      try {
        RefuseUnhonoured(o, history->get_name(), false, true, false);
      } catch (const UsageError& error) {
        return Usage(env, *history, error.what());
      }
      return histories.Run(o, env);
    }
    if (const CLI::App* tool = tools.Chosen()) {
      try {
        RefuseUnhonoured(o, tool->get_parent()->get_name() == "plan" ? "plan " + tool->get_name() : tool->get_name(),
                         false, tools.HonoursJson(), true);
        if (tools.NeedsLink()) CheckLinkNamed(o.link);
      } catch (const UsageError& error) {
        return Usage(env, *tool, error.what());
      }
      return tools.Run(o, env);
    }
    if (run.Command()->parsed()) {
      try {
        CheckLinkNamed(o.link);
        run.Check(o);
      } catch (const UsageError& error) {
        return Usage(env, *run.Command(), error.what());
      }
      return run.Run(o, env);
    }

    const RequestSpec* spec = requests.Chosen();
    const CLI::App& leaf = monitor->parsed() ? *monitor : *requests.ChosenCommand();
    RequestValues values;
    std::string sendTo;
    try {
      if (spec) {
        values = requests.Values();
        sendTo = requests.SendTo();
      } else {
        RefuseUnhonoured(o, "monitor", false, true, false);
      }
      CheckLinkNamed(o.link);
      if (!sendTo.empty() && !o.link.Udp()) throw UsageError("--to needs the UDP link (--udp)");
    } catch (const UsageError& error) {
      return Usage(env, leaf, error.what());
    }

    // Checked before anything is sent: a scene database that cannot take
    // what the module confirms.
    std::unique_ptr<SceneDatabase> db;
    if (!o.sceneDb.empty() && spec && spec->scene != SceneEffect::None)
      db = std::make_unique<SceneDatabase>(o.sceneDb, true);
    // Outlives the link, and so commits its last frames.
    std::unique_ptr<history::HistoryWriter> recorder;
    if (monitor->parsed() && record) {
      recorder = std::make_unique<history::HistoryWriter>(HistoryFileOf(o), "veltra-cli monitor");
      env.err << "veltra-cli: recording the frames into " << recorder->Path() << '\n';
    }
    // monitor outlives an unplugged adapter: the line waits for it and
    // opens again by itself.
    if (!spec) o.link.recover = true;
    Connection c(o, env.stop, sendTo);
    c.link().SetObserver(recorder.get());
    result = spec ? Requests(o, env).Run(c.link(), *spec, values, db.get()) : Monitor(c.link(), o, env);
    c.Close();
  } catch (const LinkError& error) {
    return ReportLinkError(env.err, error, o.link);
  } catch (const StorageError& error) {
    env.err << "veltra-cli: " << error.what() << '\n';
    return kExitStorage;
  } catch (const std::exception& error) {
    env.err << "veltra-cli: " << error.what() << '\n';
    return kExitLinkError;
  }
  return result;
}

}  // namespace veltra::cli
