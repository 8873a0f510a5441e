// What an integrator scripts veltra-cli with: its version, conventions of
// its command line, many commands over one link ("run"), JSON objects that
// can be joined up, shell completion, input functions by name, and a manual
// page that names every option.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <CLI/CLI.hpp>
#include <QTemporaryDir>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "../support/loopback_socket.h"
#include "../support/run_program.h"
#include "cli/completion.h"
#include "cli/global_options.h"
#include "cli/request_commands.h"
#include "cli/run_commands.h"
#include "cli_support.h"
#include "protocol/input_commands.h"
#include "sim/simulator_runtime.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;
using OJson = nlohmann::ordered_json;

const std::regex kIsoTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");

class Scripting : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  std::unique_ptr<SimulatorRuntime> sim = [] {
    SimulatorOptions options;
    options.pty = false;
    return std::make_unique<SimulatorRuntime>(options);
  }();
  std::string Host() const { return "127.0.0.1:" + std::to_string(sim->UdpPort()); }
  std::vector<std::string> Args(std::vector<std::string> command, int timeoutMs = 200) {
    std::vector<std::string> args{"--udp", Host(), "--local-port", "0", "--timeout", std::to_string(timeoutMs)};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path) << text;
    return path;
  }
};

TEST_F(Scripting, VersionUnknownCommandsOptionsAfterTheCommandAndQuiet) {
  const Outcome version = Cli({"--version"});
  EXPECT_EQ(version.exit, cli::kExitOk);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("veltra-cli \\d+\\.\\d+(\\.\\d+)?\n"))) << version.out;

  const Outcome typo = Cli({"lihgt", "on", "1", "1"});
  EXPECT_EQ(typo.exit, cli::kExitUsage);
  EXPECT_EQ(Lines(typo.err).front(), "veltra-cli: unknown command 'lihgt'; did you mean 'light'?");
  EXPECT_EQ(Lines(Cli({"--udp", "h", "light", "onn", "1", "1"}).err).front(),
            "veltra-cli: unknown command 'light onn'; did you mean 'light on'?");
  EXPECT_EQ(Lines(Cli({"plan", "chek", "x"}).err).front(),
            "veltra-cli: unknown command 'plan chek'; did you mean 'plan check'?");
  EXPECT_EQ(Lines(Cli({"xyzzy"}).err).front(), "veltra-cli: unknown command 'xyzzy'");
  EXPECT_EQ(Lines(Cli({"--json", "-q", "--timeout", "5", "lihgt"}).err).front(),
            "veltra-cli: unknown command 'lihgt'; did you mean 'light'?") << "past flags and options with values";

  // Global options after the command, as well as before it.
  const Outcome after = Cli({"light", "on", "1", "2", "--udp", Host(), "--local-port", "0", "--json"});
  EXPECT_EQ(after.exit, cli::kExitOk) << after.err;
  EXPECT_EQ(OJson::parse(after.out)["command"], "On");

  // --quiet: the result alone, nothing without one.
  EXPECT_EQ(Cli(Args({"-q", "read-type", "3"})).out, "0104\n");
  EXPECT_EQ(Cli(Args({"--quiet", "read-status", "1"})).out, "01000000\n");
  const Outcome nothing = Cli(Args({"-q", "light", "off", "1", "2"}));
  EXPECT_EQ(nothing.exit, cli::kExitOk);
  EXPECT_EQ(nothing.out, "");
  EXPECT_EQ(Cli(Args({"-q", "--json", "read-type", "3"})).exit, cli::kExitUsage) << "one or the other";
  const Outcome silent = Cli(Args({"-q", "read-type", "20"}, 20));
  EXPECT_EQ(silent.exit, cli::kExitNoReply);
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.err, "No reply within 20 ms\n");
}

TEST_F(Scripting, RunSendsEveryLineInOrderAndPrintsOneLineEach) {
  const std::string file = Write("commands.txt",
                                 "# the hall\n"
                                 "light on 1 3   # first\n"
                                 "\n"
                                 "read-status 1\n"
                                 "read-type 3\n"
                                 "input bind 5 2 --function \"Toggle Light\" --target 1\n");
  const Outcome text = Cli(Args({"run", file}));
  EXPECT_EQ(text.exit, cli::kExitOk) << text.err;
  EXPECT_EQ(Lines(text.out), (std::vector<std::string>{
                                 "light on 1 3: OK!",
                                 "read-status 1: OK!; Outputs: 1 off, 2 off, 3 on, 4 off, 5 off, 6 off, 7 off, 8 off",
                                 "read-type 3: OK!; Module type: 0104",
                                 "input bind 5 2 --function Toggle Light --target 1: OK!",
                             }));
  EXPECT_EQ(sim->Bus().Module(5)->bindings.at(1)[2], 3) << "Toggle, by its name";

  const Outcome json = Cli(Args({"--json", "run", file}));
  const auto lines = Lines(json.out);
  ASSERT_EQ(lines.size(), 4u);
  const OJson type = OJson::parse(lines[2]);
  EXPECT_EQ(type["line"], 5);
  EXPECT_EQ(type["command"], "ReadModuleType");
  EXPECT_EQ(type["address"], 3);
  EXPECT_EQ(type["result"]["module_type"], "0104");

  EXPECT_EQ(Cli(Args({"-q", "run", file})).out, "00100000\n0104\n");
}

TEST_F(Scripting, RunStopsAtTheFirstFailureUnlessToldToKeepGoing) {
  const std::string file = Write("failing.txt", "read-type 1\nread-type 20\nlight on 1 9\nread-type 3\n");
  // Address 20 is silent; light module 1 has no output 9? It has 8: a usage error, caught first.
  const Outcome refused = Cli(Args({"run", file}, 50));
  EXPECT_EQ(refused.exit, cli::kExitUsage);
  EXPECT_EQ(refused.err, "veltra-cli: " + file + ":3: OUTPUT: Value 9 not in range 1 to 8\n");
  EXPECT_TRUE(refused.out.empty()) << "a file is checked whole before anything is sent";

  const std::string silent = Write("silent.txt", "read-type 1\nread-type 20\nscene set 3 1 1 1 1 1 1\nread-type 3\n");
  const Outcome stopped = Cli(Args({"run", silent}, 50));
  EXPECT_EQ(stopped.exit, cli::kExitNoReply);
  EXPECT_EQ(Lines(stopped.out), (std::vector<std::string>{"read-type 1: OK!; Module type: 0208",
                                                          "read-type 20: no reply within 50 ms"}));
  EXPECT_EQ(stopped.err, "veltra-cli: stopped at line 2; --keep-going runs the rest\n");

  const Outcome onward = Cli(Args({"run", silent, "--keep-going"}, 50));
  EXPECT_EQ(onward.exit, cli::kExitNoReply) << "the first failure decides";
  EXPECT_EQ(Lines(onward.out), (std::vector<std::string>{"read-type 1: OK!; Module type: 0208",
                                                         "read-type 20: no reply within 50 ms",
                                                         "scene set 3 1 1 1 1 1 1: Parameter error!",
                                                         "read-type 3: OK!; Module type: 0104"}));
}

TEST_F(Scripting, RunReadsTheStandardInputAndRefusesWhatIsNotOneRequest) {
  const Outcome o = Cli(Args({"--json", "run", "-", "--keep-going"}),
                        "read-type 2\nscan\nlihgt on 1 1\nbus-switch read --to 127.0.0.1\n'unclosed\nread-version 3\n");
  EXPECT_EQ(o.exit, cli::kExitUsage);
  const auto lines = Lines(o.out);
  ASSERT_EQ(lines.size(), 6u) << o.out;
  EXPECT_EQ(OJson::parse(lines[0])["result"]["module_type"], "0208");
  EXPECT_EQ(OJson::parse(lines[1]), OJson::parse(R"({"line":2,"error":"'scan' is not for run: run takes the commands that send one request"})"));
  EXPECT_EQ(OJson::parse(lines[2])["error"], "unknown command 'lihgt'; did you mean 'light'?");
  EXPECT_EQ(OJson::parse(lines[3])["error"], "--to is not for run: its commands share one link");
  EXPECT_EQ(OJson::parse(lines[4])["error"], "a quote is not closed");
  EXPECT_EQ(OJson::parse(lines[5])["line"], 6);
  EXPECT_EQ(OJson::parse(lines[5])["result"]["version"], "Curtain-4 V1.0");

  EXPECT_EQ(Cli(Args({"--repeat", "2", "run", "-"})).exit, cli::kExitUsage) << "standard input is read once";
  const Outcome empty = Cli(Args({"run", Write("empty.txt", "# nothing\n\n")}));
  EXPECT_EQ(empty.exit, cli::kExitUsage);
  EXPECT_TRUE(Contains(empty.err, "holds no command")) << empty.err;
}

TEST_F(Scripting, RunGoesOverOneLinkAndRepeatsTheFile) {
  LoopbackSocket peer;
  const std::string file = Write("three.txt", "read-type 1\nlight on 1 1\nread-version 2\n");
  const Outcome o = Cli({"--udp", "127.0.0.1:" + std::to_string(peer.port()), "--local-port", "0", "--timeout", "0",
                         "run", file, "--keep-going"});
  EXPECT_EQ(o.exit, cli::kExitNoReply);
  std::set<int> senders;
  for (int i = 0; i < 3; ++i) {
    sockaddr_in from{};
    ASSERT_FALSE(peer.Receive(1000, &from).empty());
    senders.insert(ntohs(from.sin_port));
  }
  EXPECT_EQ(senders.size(), 1u) << "one socket for every command";

  const auto start = std::chrono::steady_clock::now();
  const Outcome rounds = Cli(Args({"--json", "--repeat", "3", "--interval", "100", "run", file}));
  EXPECT_EQ(rounds.exit, cli::kExitOk) << rounds.err;
  EXPECT_EQ(Lines(rounds.out).size(), 9u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms) << "two pauses between three rounds";
  EXPECT_TRUE(Contains(rounds.err, "9 commands, 9 answered")) << rounds.err;

  const Outcome stopped = CliStopped(Args({"--repeat", "100", "--interval", "100", "run", file}), 250ms);
  EXPECT_EQ(stopped.exit, 130);
  EXPECT_TRUE(std::regex_search(stopped.err, std::regex(R"(interrupted after \d+ of 300 commands)"))) << stopped.err;
}

TEST_F(Scripting, EveryJsonObjectSaysWhatWhereAndWhen) {
  const Outcome one = Cli(Args({"--json", "read-status", "1"}));
  const OJson j = OJson::parse(one.out);
  std::vector<std::string> keys;
  for (const auto& item : j.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"command", "address", "subnet", "time", "request", "reply",
                                            "reply_invalid", "status", "status_word", "result", "round_trip_ms"}));
  EXPECT_EQ(j["command"], "ReadStatus");
  EXPECT_EQ(j["address"], 1);
  EXPECT_EQ(j["subnet"], 1);
  EXPECT_TRUE(std::regex_match(j["time"].get<std::string>(), kIsoTime)) << j["time"];

  // A broadcast to every bus switch, a direct infrared request.
  EXPECT_EQ(OJson::parse(Cli(Args({"--json", "bus-switch", "read", "--to", "127.0.0.1"})).out)["subnet"], 65535);
  const OJson ir = OJson::parse(Cli(Args({"--json", "ir", "learn-on", "4"})).out);
  EXPECT_EQ(ir["command"], "LearnOn");
  EXPECT_TRUE(ir["subnet"].is_null()) << "a direct frame names no subnet";

  const OJson rows = OJson::parse(Cli(Args({"--json", "scan", "--from", "3", "--to", "3"})).out);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["command"], "ReadModuleType");
  EXPECT_EQ(rows[0]["address"], 3);
  EXPECT_EQ(rows[0]["subnet"], 1);
  EXPECT_TRUE(std::regex_match(rows[0]["time"].get<std::string>(), kIsoTime));

  const std::string plan = Write("plan.toml", "[[module]]\naddress = 2\nturn_on_seconds = { 1 = 4 }\n");
  const OJson step = OJson::parse(Lines(Cli(Args({"--json", "plan", "apply", plan})).out).front());
  EXPECT_EQ(step["item"], "module 2: light output 1 turn-on time 4 s");
  EXPECT_EQ(step["command"], "SetOnTime");
  EXPECT_EQ(step["address"], 2);
  EXPECT_TRUE(step["time"].is_string());
}

TEST_F(Scripting, InputFunctionsByName) {
  LoopbackSocket peer;
  auto sent = [&](const std::string& function) {
    const Outcome o = Cli({"--udp", "127.0.0.1:" + std::to_string(peer.port()), "--local-port", "0", "--timeout",
                           "0", "input", "bind", "5", "1", "--function", function, "--target", "2"});
    EXPECT_EQ(o.exit, cli::kExitNoReply) << function << o.err;
    return peer.Receive(1000);
  };
  const auto byNumber = sent("3");
  ASSERT_FALSE(byNumber.empty());
  EXPECT_EQ(sent("toggle-light"), byNumber);
  EXPECT_EQ(sent("Toggle Light"), byNumber);
  EXPECT_NE(sent("scene"), byNumber);

  const Outcome wrong = Cli({"--udp", "h", "input", "bind", "5", "1", "--function", "dim-light"});
  EXPECT_EQ(wrong.exit, cli::kExitUsage);
  EXPECT_TRUE(Contains(wrong.err, "dim-light is not a number from 1 to 12 or one of the names below")) << wrong.err;
  const Outcome help = Cli({"input", "bind", "--help"});
  for (const InputFunction& f : InputFunctions()) EXPECT_TRUE(Contains(help.out, InputFunctionWord(f))) << f.item;
  const Outcome param = Cli({"--udp", "h", "input", "bind", "5", "1", "--function", "scene", "--param", "51"});
  EXPECT_EQ(param.exit, cli::kExitUsage);
  EXPECT_TRUE(Contains(param.err, "--param 51 is outside 0-50 for the function \"Scene\"")) << param.err;
}

TEST(Completion, EveryCommandOptionAndFunctionNameIsInEachScript) {
  std::map<std::string, std::string> scripts;
  for (const char* shell : {"bash", "zsh", "fish"}) {
    const Outcome o = Cli({"completion", shell});
    ASSERT_EQ(o.exit, cli::kExitOk) << o.err;
    scripts[shell] = o.out;
  }
  for (const RequestSpec& spec : Requests())
    for (const auto& word : spec.words)
      for (const auto& [shell, script] : scripts)
        EXPECT_TRUE(Contains(script, std::string(word))) << shell << ": " << word;
  for (const std::string word : {"scan", "plan", "check", "apply", "verify", "export", "run", "monitor", "--keep-going",
                                 "--unplanned", "--udp", "--serial", "--repeat", "--interval", "--quiet", "--json"})
    for (const auto& [shell, script] : scripts) {
      // fish names an option without its dashes: "-l keep-going".
      const bool option = word.rfind("--", 0) == 0;
      EXPECT_TRUE(Contains(script, shell == "fish" && option ? "-l " + word.substr(2) : word)) << shell << ": " << word;
    }
  for (const InputFunction& f : InputFunctions())
    for (const auto& [shell, script] : scripts) EXPECT_TRUE(Contains(script, InputFunctionWord(f))) << shell;
  EXPECT_EQ(scripts["zsh"].rfind("#compdef veltra-cli\n", 0), 0u);
  EXPECT_EQ(Cli({"completion", "tcsh"}).exit, cli::kExitUsage);
}

// The bash script run by bash: what it offers after what was typed.
TEST(Completion, BashOffersTheNextWord) {
  QTemporaryDir folder;
  const std::string script = folder.filePath("veltra-cli").toStdString();
  std::ofstream(script) << Cli({"completion", "bash"}).out;
  auto offered = [&](const std::string& line) {
    const ProgramRun run = RunWithoutDisplay(
        "bash", {"-c", "source '" + script + "'; COMP_WORDS=(" + line + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                   "_veltra_cli; echo \"${COMPREPLY[*]}\""});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return run.out.empty() ? run.out : run.out.substr(0, run.out.size() - 1);
  };
  EXPECT_EQ(offered("veltra-cli li"), "light");
  EXPECT_EQ(offered("veltra-cli --udp 127.0.0.1 light o"), "on off");
  EXPECT_EQ(offered("veltra-cli --parity e"), "even");
  EXPECT_EQ(offered("veltra-cli input bind 5 1 --function toggle"), "toggle-light");
  EXPECT_EQ(offered("veltra-cli input bind 5 1 --mode s"), "switch");
  EXPECT_EQ(offered("veltra-cli plan v"), "verify");
  EXPECT_EQ(offered("veltra-cli completion f"), "fish");
  EXPECT_EQ(offered("veltra-cli --json scan --f"), "--from");
  EXPECT_EQ(offered("veltra-cli run x --keep"), "--keep-going");
}

// zsh with its completion builtins stood in for (compadd filters by what
// was typed by itself), fish with its own "complete -C".
TEST(Completion, ZshAndFishOfferTheNextWord) {
  QTemporaryDir folder;
  const std::string zsh = folder.filePath("_veltra-cli").toStdString();
  const std::string fish = folder.filePath("veltra-cli.fish").toStdString();
  std::ofstream(zsh) << Cli({"completion", "zsh"}).out;
  std::ofstream(fish) << Cli({"completion", "fish"}).out;
  auto zshOffers = [&](const std::string& line) {
    const ProgramRun run = RunWithoutDisplay(
        "zsh", {"-c",
                "compadd() { [[ $1 == -- ]] && shift; print -r -- \"$*\"; }; _files() { print '<files>'; }; "
                "words=(${=1}); [[ $1 == *' ' ]] && words+=(''); CURRENT=${#words}; source '" + zsh + "'",
                "zsh", line});
    EXPECT_EQ(run.err, "") << line;
    return run.out;
  };
  EXPECT_EQ(zshOffers("veltra-cli --udp x light o"), "on off toggle all-on all-off set-time\n");
  EXPECT_EQ(zshOffers("veltra-cli input bind 5 1 --mode "), "button switch\n");
  EXPECT_TRUE(Contains(zshOffers("veltra-cli input bind 5 1 --function t"), "toggle-light"));
  EXPECT_EQ(zshOffers("veltra-cli --capture "), "<files>\n");
  EXPECT_EQ(zshOffers("veltra-cli run "), "<files>\n");

  auto fishOffers = [&](const std::string& line) {
    const ProgramRun run = RunWithoutDisplay("fish", {"-c", "source '" + fish + "'; complete -C '" + line + "'"});
    EXPECT_EQ(run.err, "") << line;
    std::string words;
    for (const std::string& l : Lines(run.out)) words += (words.empty() ? "" : " ") + l.substr(0, l.find('\t'));
    return words;
  };
  EXPECT_EQ(fishOffers("veltra-cli input bind 5 1 --function tog"), "toggle-light");
  EXPECT_EQ(fishOffers("veltra-cli --udp x plan "), "apply check export test verify");
  EXPECT_EQ(fishOffers("veltra-cli --parity m"), "mark");
  EXPECT_EQ(fishOffers("veltra-cli completion "), "bash fish zsh");
}

TEST(ManualPage, NamesEveryOptionExitStatusAndJsonField) {
  std::ifstream in(VELTRA_CLI_MANUAL);
  std::ostringstream text;
  text << in.rdbuf();
  // Pandoc's Markdown escapes nothing in these; options are written in bold.
  const std::string page = text.str();
  CLI::App app;
  app.fallthrough();
  cli::GlobalOptions o;
  cli::AddGlobalOptions(app, o);
  cli::RequestCommands requests(app);
  const cli::CompletionTree tree = cli::TreeOf(app);
  std::set<std::string> options(tree.globalOptions.begin(), tree.globalOptions.end());
  for (const auto& [path, names] : tree.options) options.insert(names.begin(), names.end());
  for (const char* more : {"--keep-going", "--unplanned", "--from", "--to", "--output"}) options.insert(more);
  for (const std::string& option : options) {
    if (option == "-h" || option == "--help" || option.size() == 2) continue;
    EXPECT_TRUE(Contains(page, "**" + option + "**")) << option;
  }
  for (const char* status : {"0\n:", "1\n:", "2\n:", "3\n:", "4\n:", "5\n:", "6\n:", "130\n:", "143"})
    EXPECT_TRUE(Contains(page, status)) << status;
  for (const char* field : {"*command*", "*address*", "*subnet*", "*time*", "*reply_invalid*", "*line*", "*source*",
                            "*kind*", "*found*", "*expected*"})
    EXPECT_TRUE(Contains(page, field)) << field;
  for (const char* command : {"**run**", "**completion**", "**monitor**", "**--version**"})
    EXPECT_TRUE(Contains(page, command)) << command;
}

TEST(RunLines, SplitLikeAShell) {
  using cli::SplitWords;
  EXPECT_EQ(SplitWords("  light on 1 1  "), (std::vector<std::string>{"light", "on", "1", "1"}));
  EXPECT_EQ(SplitWords("a 'b c' \"d \\\"e\\\"\" f\\ g # h"),
            (std::vector<std::string>{"a", "b c", "d \"e\"", "f g"}));
  EXPECT_EQ(SplitWords("# all comment"), std::vector<std::string>{});
  EXPECT_EQ(SplitWords("x#y"), std::vector<std::string>{"x#y"}) << "# within a word is the word's";
  EXPECT_FALSE(SplitWords("a 'b"));
}

}  // namespace
}  // namespace veltra::test
