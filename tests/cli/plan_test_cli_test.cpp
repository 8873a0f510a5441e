// veltra-cli plan test against the in-process simulated bus: the example
// plan passes once applied, and fails exactly where a module is missing or
// ignores scenes; nothing answering is its own exit status; an operator
// (an injected input stream) presses an input and confirms a blink; the
// JUnit file passes the schema, the HTML report is the same bytes twice with
// --report-time, and the PDF's text holds every step.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "../support/loopback_socket.h"
#include "../support/run_program.h"
#include "cli_support.h"
#include "sim/simulator_runtime.h"

namespace veltra::test {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whitespace of any kind and length as one space: text from a PDF wraps.
std::string Flat(const std::string& text) {
  std::string flat;
  for (char c : text) {
    const bool space = std::isspace(static_cast<unsigned char>(c));
    if (space && (flat.empty() || flat.back() == ' ')) continue;
    flat += space ? ' ' : c;
  }
  return flat;
}

// An error stream that hands every flushed piece of text to `seen`: the
// prompts of the tool, as the operator would read them.
class PromptStream : public std::ostream {
 public:
  PromptStream() : std::ostream(&buffer_) {}
  std::function<void(const std::string&)> seen;
  std::string Text() const { return buffer_.str(); }

 private:
  struct Buffer : std::stringbuf {
    PromptStream* owner = nullptr;
    std::size_t shown = 0;
    int sync() override {
      const std::string all = str();
      if (all.size() > shown && owner->seen) owner->seen(all.substr(shown));
      shown = all.size();
      return 0;
    }
  } buffer_{};
  friend struct Buffer;

 public:
  void Attach() { buffer_.owner = this; }
};

class PlanTestCli : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  std::unique_ptr<SimulatorRuntime> sim;

  void Start(const std::string& population, const std::vector<std::string>& faults = {}, int port = 0) {
    sim.reset();
    SimulatorOptions options;
    options.pty = false;
    options.udpPort = port;
    options.population = ParsePopulation(population);
    for (const std::string& fault : faults) ApplyModuleFault(options.population, fault);
    sim = std::make_unique<SimulatorRuntime>(options);
  }
  std::vector<std::string> Args(std::vector<std::string> command, int timeoutMs = 100) {
    std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(sim->UdpPort()), "--local-port", "0",
                                  "--timeout", std::to_string(timeoutMs)};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }
  std::string Path(const std::string& name) { return folder.filePath(QString::fromStdString(name)).toStdString(); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(Path(name)) << text;
    return Path(name);
  }
  // The example plan with the simulator's port; without its [[test]]
  // tables when `defaults`.
  std::string ExamplePlan(bool defaults = false) {
    std::string plan = Read(VELTRA_EXAMPLE_PLAN);
    const std::string port = "port = 2001";
    plan.replace(plan.find(port), port.size(), "port = " + std::to_string(sim->UdpPort()));
    if (defaults) plan.erase(plan.find("# The acceptance test"));
    return Write(defaults ? "defaults.toml" : "site.toml", plan);
  }
  // The names of the steps with this verdict, from --json output.
  static std::vector<std::string> Steps(const std::string& json, const std::string& verdict) {
    std::vector<std::string> names;
    for (const std::string& line : Lines(json)) {
      const auto j = nlohmann::json::parse(line);
      if (j.contains("verdict") && j["verdict"] == verdict) names.push_back(j["name"]);
    }
    return names;
  }
};

TEST_F(PlanTestCli, TheExamplePlanPassesOnceAppliedAndItsFilesAreWhatTheyShouldBe) {
  Start("default");
  const std::string plan = ExamplePlan();
  ASSERT_EQ(Cli(Args({"plan", "apply", plan})).exit, cli::kExitOk);
  const std::string junit = Path("results.xml"), html = Path("handover.html"), pdf = Path("handover.pdf");
  const Outcome o = Cli(Args({"plan", "test", plan, "--junit", junit, "--report", html, "--report", pdf,
                              "--report-time", "2026-12-09T10:30"}));
  ASSERT_EQ(o.exit, cli::kExitOk) << o.out << o.err;
  EXPECT_EQ(Lines(o.out), (std::vector<std::string>{
                              "[1/7] switch: Hall light on: passed",
                              "[2/7] switch: Hall light off, stairs light as it was: passed",
                              "[3/7] switch: module 3 (Living room curtains) output 1 open: passed",
                              "[4/7] scene: scene 1 on modules 1, 2: passed",
                              "[5/7] scene: scene 2 on module 1: passed",
                              "[6/7] input: module 5 (Wall switches by the door) input 1: Toggle to module 1 (Hall "
                              "and stairs lights) output 1: manual: Press input 1 on module 5 (Wall switches by the "
                              "door) and see Toggle to module 1 (Hall and stairs lights) output 1: needs an operator",
                              "[7/7] identify: module 3 (Living room curtains) identifies itself: manual: TestModule "
                              "answered OK!; whether it blinked needs an operator",
                              "Outputs set back as they were before the test (3 changed).",
                              "7 steps: 5 passed, 0 failed, 2 manual",
                          }));
  EXPECT_EQ(sim->Bus().Module(3)->outputs[0], 0) << "the curtain opened by the test is closed again";

  // JUnit: the schema's check, and what CI shows of it.
  const ProgramRun check = RunWithoutDisplay("xmllint", {"--noout", "--schema", VELTRA_JUNIT_XSD, junit});
  EXPECT_EQ(check.status, 0) << check.err << Read(junit);
  const std::string xml = Read(junit);
  EXPECT_NE(xml.find("tests=\"7\" failures=\"0\" errors=\"0\" skipped=\"2\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("timestamp=\"2026-12-09T10:30:00\""), std::string::npos);
  EXPECT_NE(xml.find("<skipped message=\"manual: TestModule answered OK!; whether it blinked needs an operator\"/>"),
            std::string::npos);

  // HTML: what the report holds, and the same bytes from a second run.
  const std::string report = Read(html);
  const std::string planHash =
      QCryptographicHash::hash(QByteArray::fromStdString(Read(plan)), QCryptographicHash::Sha256).toHex().toStdString();
  for (const std::string& part :
       {std::string("<h1>Handover report: Small house, 3 Elm Street</h1>"), "<td>" + planHash + "</td>",
        std::string("<td>veltra-cli ") + VELTRA_VERSION + "</td>", std::string("<td>2026-12-09T10:30</td>"),
        "UDP to 127.0.0.1:" + std::to_string(sim->UdpPort()), std::string("Result: PASSED, with manual steps"),
        std::string("<code>55 AA 0C 00 01 01 02 01 00 FF"), std::string("page-break-before: always"),
        std::string("Operator (signature)")})
    EXPECT_NE(report.find(part), std::string::npos) << part;
  const std::regex roundTrip("<td>[0-9]+\\.[0-9]+ ms</td>");
  EXPECT_FALSE(std::regex_search(report, roundTrip)) << "round trips differ between runs: left out";
  ASSERT_EQ(Cli(Args({"plan", "test", plan, "--report", html, "--report-time", "2026-12-09T10:30"})).exit, cli::kExitOk);
  EXPECT_EQ(Read(html), report);

  // PDF: its text holds every step.
  const ProgramRun text = RunWithoutDisplay("pdftotext", {pdf, "-"});
  ASSERT_EQ(text.status, 0) << text.err;
  const std::string flat = Flat(text.out);
  for (const char* step :
       {"Hall light on", "Hall light off, stairs light as it was", "module 3 (Living room curtains) output 1 open",
        "scene 1 on modules 1, 2", "scene 2 on module 1",
        "module 5 (Wall switches by the door) input 1: Toggle to module 1 (Hall and stairs lights) output 1",
        "module 3 (Living room curtains) identifies itself"})
    EXPECT_NE(flat.find(step), std::string::npos) << step << "\n" << flat;
  EXPECT_NE(flat.find("Operator (signature)"), std::string::npos);
}

TEST_F(PlanTestCli, WithoutTestTablesEveryOutputAndSceneIsTestedAndTheCaptureIsNamed) {
  Start("default");
  const std::string plan = ExamplePlan(true);
  ASSERT_EQ(Cli(Args({"plan", "apply", plan})).exit, cli::kExitOk);
  const std::string capture = Path("test.pcap"), html = Path("report.htm");
  const Outcome o = Cli(Args({"--capture", capture, "plan", "test", plan, "--report", html}));
  EXPECT_EQ(o.exit, cli::kExitOk) << o.out << o.err;
  EXPECT_EQ(Lines(o.out).back(), "42 steps: 42 passed, 0 failed, 0 manual");
  const std::string report = Read(html);
  const std::string captureHash =
      QCryptographicHash::hash(QByteArray::fromStdString(Read(capture)), QCryptographicHash::Sha256).toHex().toStdString();
  EXPECT_NE(report.find("<td>" + capture + "</td>"), std::string::npos);
  EXPECT_NE(report.find("<td>" + captureHash + "</td>"), std::string::npos) << "the capture as it was finished";
  EXPECT_TRUE(std::regex_search(report, std::regex("<td>[0-9]+\\.[0-9]+ ms</td>")))
      << "round trips, without --report-time";
}

TEST_F(PlanTestCli, FailsExactlyTheStepsOfAMissingModuleOrOfOneThatIgnoresScenes) {
  Start("light@1,curtain@3,ir@4,input@5");
  const std::string plan = ExamplePlan(true);
  Cli(Args({"plan", "apply", plan, "--keep-going"}));
  const Outcome missing = Cli(Args({"--json", "plan", "test", plan}, 20));
  EXPECT_EQ(missing.exit, cli::kExitErrorStatus);
  std::vector<std::string> expected;
  for (int output = 1; output <= 8; ++output)
    for (const char* action : {"on", "off"})
      expected.push_back("module 2 (Living room lights) output " + std::to_string(output) + " " + action);
  expected.push_back("scene 1 on modules 1, 2");
  EXPECT_EQ(Steps(missing.out, "failed"), expected);
  EXPECT_EQ(Steps(missing.out, "passed").size(), 42u - expected.size());
  const auto summary = nlohmann::json::parse(Lines(missing.out).back());
  EXPECT_EQ(summary["failed"], 17);

  Start("default", {"2:ignore-scenes"});
  ASSERT_EQ(Cli(Args({"plan", "apply", plan})).exit, cli::kExitOk);
  const Outcome ignored = Cli(Args({"--json", "plan", "test", plan}));
  EXPECT_EQ(ignored.exit, cli::kExitErrorStatus);
  EXPECT_EQ(Steps(ignored.out, "failed"), (std::vector<std::string>{"scene 1 on modules 1, 2"}));
  const std::string junit = Path("ignored.xml");
  Cli(Args({"plan", "test", plan, "--junit", junit}));
  EXPECT_EQ(RunWithoutDisplay("xmllint", {"--noout", "--schema", VELTRA_JUNIT_XSD, junit}).status, 0);
  EXPECT_NE(Read(junit).find("<failure message=\"module 2 (Living room lights): status 00000000, expected 1X1: "
                             "output 1 off, expected on, output 3 off, expected on\""),
            std::string::npos)
      << Read(junit);
}

TEST_F(PlanTestCli, NothingAnsweringIsTheLinksFaultNotTheSites) {
  Start("default");
  const std::string plan = ExamplePlan();
  // A host that takes the datagrams and never answers (a closed port would
  // be refused, a link error).
  test::LoopbackSocket silent;
  const Outcome o = Cli({"--udp", "127.0.0.1:" + std::to_string(silent.port()), "--local-port", "0", "--timeout", "10",
                         "plan", "test", plan, "--non-interactive"});
  EXPECT_EQ(o.exit, cli::kExitNoReply) << o.out << o.err;
  ASSERT_FALSE(o.out.empty()) << o.err;
  EXPECT_EQ(Lines(o.out).back(), "Nothing answered: check the link.");
}

TEST_F(PlanTestCli, AnOperatorPressesTheInputAndSaysWhetherTheModuleBlinked) {
  Start("default");
  const std::string plan = ExamplePlan();
  ASSERT_EQ(Cli(Args({"plan", "apply", plan})).exit, cli::kExitOk);
  const std::string tests = Write("steps.toml",
                                  "[[test]]\nkind = \"identify\"\nmodule = 1\n"
                                  "[[test]]\nkind = \"input\"\nmodule = 5\ninput = 1\nwithin = 5\n"
                                  "[[test]]\nkind = \"input\"\nmodule = 5\ninput = 3\nwithin = 0.3\n");
  for (const bool blinked : {true, false}) {
    SCOPED_TRACE(blinked);
    std::istringstream answers(blinked ? "y\n" : "no\n");
    std::ostringstream out;
    PromptStream err;
    err.Attach();
    // Input 1 is pressed when the tool asks for it; input 3 never is.
    err.seen = [this](const std::string& text) {
      if (text.find("Press input 1 on module 5") != std::string::npos) sim->PressInput(5, 1);
    };
    const int exit = cli::Run(Args({"plan", "test", plan, "--tests", tests}), {out, err, nullptr, nullptr, &answers});
    EXPECT_EQ(exit, cli::kExitErrorStatus) << out.str() << err.Text();
    const std::string prompts = err.Text();
    EXPECT_NE(prompts.find("Did module 1 (Hall and stairs lights) blink? [y/n] "), std::string::npos) << prompts;
    EXPECT_NE(prompts.find("Press input 1 on module 5 (Wall switches by the door) (waiting up to 5 s for Toggle to "
                           "module 1 (Hall and stairs lights) output 1)"),
              std::string::npos)
        << prompts;
    const auto lines = Lines(out.str());
    ASSERT_GE(lines.size(), 3u) << out.str();
    EXPECT_EQ(lines[0], blinked ? "[1/3] identify: module 1 (Hall and stairs lights) identifies itself: passed"
                                : "[1/3] identify: module 1 (Hall and stairs lights) identifies itself: failed: the "
                                  "operator saw no blink");
    EXPECT_EQ(lines[1].rfind("[2/3] input: module 5 (Wall switches by the door) input 1: ", 0), 0u);
    EXPECT_TRUE(lines[1].ends_with(": passed")) << lines[1];
    EXPECT_EQ(lines[2], "[3/3] input: module 5 (Wall switches by the door) input 3: TestScene of scene 1: failed: no "
                        "TestScene of scene 1 within 1 s");
  }
  // Told not to ask, it asks nothing even with someone at the keyboard.
  std::istringstream answers("y\n");
  std::ostringstream out, err;
  EXPECT_EQ(cli::Run(Args({"plan", "test", plan, "--tests", tests, "--non-interactive"}), {out, err, nullptr, nullptr, &answers}),
            cli::kExitOk);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Lines(out.str()).back(), "3 steps: 0 passed, 0 failed, 3 manual");
}

TEST_F(PlanTestCli, BadReportOptionsAndStepsAreRefusedBeforeAnythingIsSent) {
  Start("default");
  const std::string plan = ExamplePlan();
  const Outcome text = Cli(Args({"plan", "test", plan, "--report", Path("report.txt")}));
  EXPECT_EQ(text.exit, cli::kExitUsage);
  EXPECT_NE(text.err.find("the report is written as .html (or .htm) or .pdf"), std::string::npos) << text.err;
  EXPECT_EQ(Cli(Args({"plan", "test", plan, "--report-time", "yesterday"})).exit, cli::kExitUsage);
  EXPECT_EQ(Cli(Args({"plan", "test", plan, "--report-time", "2026-13-01"})).exit, cli::kExitUsage);
  const std::string tests = Write("bad.toml", "[[test]]\nkind = \"scene\"\nscene = 9\n");
  const Outcome steps = Cli(Args({"plan", "test", plan, "--tests", tests}));
  EXPECT_EQ(steps.exit, cli::kExitUsage);
  EXPECT_EQ(steps.err, tests + ":3:9: scene 9 is in no module of the plan\n");
  EXPECT_EQ(sim->Bus().Module(1)->identifyCount, 0);
  EXPECT_EQ(Cli(Args({"plan", "test", plan, "--junit", Path("no-such-folder/x.xml"), "--non-interactive"})).exit,
            cli::kExitStorage)
      << "the results could not be kept";
}

}  // namespace
}  // namespace veltra::test
