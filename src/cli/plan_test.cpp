#include "cli/plan_test.h"

#include <QGuiApplication>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <iostream>
#include <thread>

#include "acceptance/report.h"
#include "acceptance/report_files.h"
#include "cli/request_outcome.h"
#include "cli/tool_commands.h"
#include "cli/tool_exchange.h"

namespace veltra::cli {
namespace {

using acceptance::AcceptanceRun;
using acceptance::Due;
using acceptance::StepResult;
using acceptance::Verdict;

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

bool IsPdf(const std::string& path) { return EndsWith(path, ".pdf"); }
bool IsHtml(const std::string& path) { return EndsWith(path, ".html") || EndsWith(path, ".htm"); }

std::string NowIso() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string LinkText(const LinkOptions& o, int subnet) {
  std::string text;
  if (o.Udp()) {
    text = "UDP to " + o.udp + (o.udp.find(':') == std::string::npos ? ":2001" : "") + ", routed frames";
  } else {
    text = "serial line " + o.serial + " at " + std::to_string(o.baud) + " baud, " + std::to_string(o.dataBits) +
           " data bits, parity " + o.parity + ", " + o.stopBits + " stop bits, " +
           (o.routed ? "routed" : "direct") + " frames";
  }
  return text + "; subnet " + std::to_string(subnet) + "; time-out " + std::to_string(o.timeoutMs) + " ms";
}

nlohmann::ordered_json ExchangesJson(const std::vector<acceptance::Exchanged>& list) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const acceptance::Exchanged& x : list)
    out.push_back({{"purpose", x.purpose},
                   {"request", acceptance::HexBytes(x.request)},
                   {"reply", x.reply ? nlohmann::ordered_json(acceptance::HexBytes(*x.reply)) : nlohmann::ordered_json()},
                   {"status_word", x.statusWord},
                   {"round_trip_ms", x.roundTripMs ? nlohmann::ordered_json(*x.roundTripMs) : nlohmann::ordered_json()}});
  return out;
}

}  // namespace

PlanTest::PlanTest(const plan::Plan& plan, PlanTestOptions options, const GlobalOptions& global, Environment env)
    : plan_(plan), options_(std::move(options)), global_(global), env_(env) {}

PlanTest::~PlanTest() {
  run_.reset();
  gui_.reset();
}

std::optional<std::string> PlanTest::Prepare() {
  for (const std::string& report : options_.reports)
    if (!IsPdf(report) && !IsHtml(report))
      return "--report " + report + ": the report is written as .html (or .htm) or .pdf";
  if (!options_.reportTime.empty() && !acceptance::IsIsoDate(options_.reportTime))
    return "--report-time " + options_.reportTime + ": a date as YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS][Z|+HH:MM]";
  if (std::any_of(options_.reports.begin(), options_.reports.end(), IsPdf)) {
    try {
      gui_ = acceptance::MakeGuiApplication();
    } catch (const std::exception& error) {
      return std::string(error.what());
    }
  }
  return std::nullopt;
}

bool PlanTest::Interactive() const {
  if (options_.nonInteractive) return false;
  return env_.answers != nullptr || ::isatty(STDIN_FILENO);
}

std::istream& PlanTest::In() const { return env_.answers ? *env_.answers : std::cin; }

void PlanTest::PrintStep(const StepResult& r, std::size_t index) const {
  if (global_.json) {
    nlohmann::ordered_json line{{"step", index + 1},
                                {"kind", plan::KindName(r.step.kind)},
                                {"name", r.name},
                                {"verdict", acceptance::VerdictWord(r.verdict)},
                                {"evidence", r.evidence},
                                {"exchanges", ExchangesJson(r.exchanges)}};
    env_.out << line.dump() << '\n' << std::flush;
    return;
  }
  const std::string count = std::to_string(run_->Steps().size());
  const std::string at = std::to_string(index + 1);
  env_.out << '[' << std::string(count.size() - at.size(), ' ') << at << '/' << count << "] " << plan::KindName(r.step.kind)
           << ": " << r.name << ": " << acceptance::VerdictWord(r.verdict);
  if (r.verdict != Verdict::Passed && !r.evidence.empty()) env_.out << ": " << r.evidence;
  env_.out << '\n' << std::flush;
}

int PlanTest::Run(Link& link) {
  date_ = options_.reportTime.empty() ? NowIso() : options_.reportTime;
  acceptance::RunOptions runOptions;
  runOptions.interactive = Interactive();
  runOptions.leave = options_.leave;
  run_ = std::make_unique<AcceptanceRun>(plan_, runOptions);

  ToolExchange::Printer print;
  if (global_.showBytes && !global_.json) print = [this](const std::string& line) { env_.out << "    " << line << '\n'; };
  ToolExchange exchange(link, global_.link, !global_.showBytes, print);
  const FrameForm form = global_.link.Form();
  bool matched = false;
  std::size_t printed = 0;
  auto printNew = [&] {
    for (; printed < run_->Results().size(); ++printed) PrintStep(run_->Results()[printed], printed);
  };

  while (const std::optional<Due> due = run_->Next(std::chrono::steady_clock::now())) {
    printNew();
    if (env_.stop && env_.stop->Raised()) {
      run_->Stop();
      break;
    }
    switch (due->kind) {
      case Due::Kind::Request: {
        const ExchangeResult e = exchange.Request(run_->Build(form));
        ThrowIfLinkFailed(e, link);
        // A stop sends nothing more: not the rest of the steps, nor the
        // outputs' old states.
        if (e.interrupted) {
          run_->Stop();
          break;
        }
        run_->Took(e, std::chrono::steady_clock::now());
        break;
      }
      case Due::Kind::Pause:
        // Slices, so that a stop ends the pause at once.
        while (std::chrono::steady_clock::now() < due->until && !(env_.stop && env_.stop->Raised()))
          std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
              due->until - std::chrono::steady_clock::now(), std::chrono::milliseconds(20)));
        break;
      case Due::Kind::Watch: {
        env_.err << due->text << std::endl;
        matched = false;
        exchange.heard = [&](const UnmatchedFrame& frame) {
          if (!matched && run_->Heard(frame.unit.bytes, form)) matched = true;
        };
        for (;;) {
          const auto left = std::chrono::ceil<std::chrono::milliseconds>(due->until - std::chrono::steady_clock::now());
          if (matched || left.count() <= 0 || (env_.stop && env_.stop->Raised())) break;
          exchange.exchange().Listen(static_cast<int>(std::min<long long>(left.count(), 200)));
        }
        exchange.heard = nullptr;
        if (!matched) run_->WatchEnded();
        break;
      }
      case Due::Kind::Confirm: {
        env_.err << due->text << " [y/n] " << std::flush;
        std::string answer;
        std::getline(In(), answer);
        answer.erase(std::remove_if(answer.begin(), answer.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
                     answer.end());
        std::transform(answer.begin(), answer.end(), answer.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        run_->Confirmed(answer == "y" || answer == "yes");
        break;
      }
    }
  }
  printNew();

  const int passed = run_->Count(Verdict::Passed), failed = run_->Count(Verdict::Failed),
            manual = run_->Count(Verdict::Manual);
  const int exit = run_->ExitStatus();
  if (global_.json) {
    nlohmann::ordered_json problems = nlohmann::ordered_json::array();
    for (const std::string& p : run_->RestoreProblems()) problems.push_back(p);
    env_.out << nlohmann::ordered_json{{"steps", run_->Steps().size()},
                                       {"passed", passed},
                                       {"failed", failed},
                                       {"manual", manual},
                                       {"stopped", run_->Stopped()},
                                       {"restored", !options_.leave && !run_->Stopped()},
                                       {"restore_problems", problems}}
                    .dump()
             << '\n';
  } else {
    if (run_->Stopped())
      env_.out << "Stopped: the outputs were not set back.\n";
    else if (options_.leave)
      env_.out << "Outputs left as the steps left them (--leave).\n";
    else
      env_.out << "Outputs set back as they were before the test ("
               << std::count_if(run_->Restore().begin(), run_->Restore().end(),
                                [](const acceptance::Exchanged& x) { return x.purpose.find("back as before") != std::string::npos; })
               << " changed).\n";
    for (const std::string& p : run_->RestoreProblems()) env_.out << "  not set back: " << p << '\n';
    env_.out << run_->Steps().size() << (run_->Steps().size() == 1 ? " step: " : " steps: ") << passed << " passed, "
             << failed << " failed, " << manual << " manual";
    if (run_->Results().size() < run_->Steps().size())
      env_.out << ", " << run_->Steps().size() - run_->Results().size() << " not run";
    env_.out << '\n';
    if (exit == kExitNoReply) env_.out << "Nothing answered: check the link.\n";
  }
  env_.out << std::flush;
  if (run_->Stopped() && env_.stop && env_.stop->Raised()) {
    env_.err << "veltra-cli: interrupted after " << run_->Results().size() << " of "
             << Counted(run_->Steps().size(), "step", "steps") << "; nothing more was sent\n";
    return ExitForSignal(env_.stop->Reason());
  }
  return exit;
}

int PlanTest::WriteFiles() {
  if (!run_) return kExitOk;
  acceptance::ReportContext c;
  c.site = plan_.site.empty() ? options_.planFile : plan_.site;
  c.planFile = options_.planFile;
  c.planSha256 = acceptance::FileSha256(options_.planFile).value_or("(unreadable)");
  if (!options_.testsFile.empty()) {
    c.testsFile = options_.testsFile;
    c.testsSha256 = acceptance::FileSha256(options_.testsFile).value_or("(unreadable)");
  }
  c.tool = std::string("veltra-cli ") + VELTRA_VERSION;
  c.date = date_;
  c.fixedTime = !options_.reportTime.empty();
  c.link = LinkText(global_.link, plan_.subnet);
  if (!global_.capture.empty()) {
    c.captureFile = global_.capture;
    c.captureSha256 = acceptance::FileSha256(global_.capture).value_or("(unreadable)");
  }
  int exit = kExitOk;
  auto failed = [&](const std::optional<std::string>& error) {
    if (!error) return;
    // A local file that could not be written, not the link.
    env_.err << "veltra-cli: " << *error << '\n';
    exit = kExitStorage;
  };
  if (!options_.junit.empty()) failed(acceptance::WriteTextFile(acceptance::JUnitXml(*run_, c), options_.junit));
  if (!options_.reports.empty()) {
    const std::string html = acceptance::ReportHtml(*run_, c);
    for (const std::string& report : options_.reports)
      failed(IsPdf(report) ? acceptance::WritePdf(html, report, "Handover report: " + c.site)
                           : acceptance::WriteTextFile(html, report));
  }
  return exit;
}

}  // namespace veltra::cli
