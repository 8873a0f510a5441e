#include "cli/tool_commands.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

#include "cli/connection.h"
#include "cli/plan_run.h"
#include "cli/plan_test.h"
#include "cli/request_outcome.h"
#include "cli/result_output.h"
#include "cli/scene_database.h"
#include "cli/storage_error.h"
#include "cli/tool_exchange.h"
#include "protocol/scene_commands.h"
#include "scan/scan_session.h"

namespace veltra::cli {

struct ToolCommands::Values {
  int from = kFirstScanAddress, to = kLastScanAddress;
  std::string file;
  bool keepGoing = false;
  bool unplanned = false;
  std::string output;
  PlanTestOptions test;
};

namespace {

// The name a plan read from the standard input goes by in messages.
constexpr const char* kStandardInputName = "<stdin>";

// The plan file's text, or nothing with the reason on err: a directory, a
// file that cannot be read.
std::optional<std::string> ReadPlanText(const std::string& path, Environment env) {
  std::ostringstream text;
  if (path == "-") {
    // Not a conditional expression: GCC 12 with the sanitizers at -O0 warns
    // falsely that its value may be unset.
    if (env.in)
      text << env.in->rdbuf();
    else
      text << std::cin.rdbuf();
    return text.str();
  }
  std::error_code code;
  std::string reason;
  if (std::filesystem::is_directory(path, code)) {
    reason = std::strerror(EISDIR);
  } else {
    std::ifstream in(path, std::ios::binary);
    if (in && text << in.rdbuf()) return text.str();
    if (in && in.peek() == std::char_traits<char>::eof()) return std::string();  // an empty file
    reason = std::strerror(errno ? errno : EIO);
  }
  env.err << "veltra-cli: cannot read the plan " << path << " (" << reason << ")\n";
  return std::nullopt;
}

// The plan file checked; its errors, each with file, line and column, go to
// err (and with --json to out).
std::optional<plan::Plan> LoadPlan(const std::string& path, const GlobalOptions& o, Environment env,
                                   bool reportJson) {
  const auto text = ReadPlanText(path, env);
  if (!text) return std::nullopt;
  const std::string name = path == "-" ? kStandardInputName : path;
  plan::ParseResult parsed = plan::ParsePlan(*text, name);
  for (const plan::Error& e : parsed.errors) env.err << plan::Describe(e) << '\n';
  if (reportJson && o.json && !parsed.errors.empty()) {
    nlohmann::ordered_json errors = nlohmann::ordered_json::array();
    for (const plan::Error& e : parsed.errors)
      errors.push_back({{"line", e.line}, {"column", e.column}, {"message", e.message}});
    env.out << JsonLine(nlohmann::ordered_json{{"file", name}, {"errors", errors}}) << '\n';
  }
  return std::move(parsed.plan);
}

// A file of [[test]] tables beside the plan, checked against it.
std::optional<std::vector<plan::TestStep>> LoadTests(const std::string& path, const plan::Plan& plan, std::ostream& err) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (!in || (!(text << in.rdbuf()) && in.peek() != std::char_traits<char>::eof())) {
    err << "veltra-cli: cannot read the tests " << path << " (" << std::strerror(errno ? errno : EIO) << ")\n";
    return std::nullopt;
  }
  plan::TestsResult parsed = plan::ParseTests(text.str(), path, plan);
  for (const plan::Error& e : parsed.errors) err << plan::Describe(e) << '\n';
  return std::move(parsed.tests);
}

int Check(const std::string& path, const GlobalOptions& o, Environment env) {
  const std::optional<plan::Plan> plan = LoadPlan(path, o, env, true);
  if (!plan) return kExitUsage;
  const std::string name = path == "-" ? kStandardInputName : path;
  if (o.json)
    env.out << JsonLine(nlohmann::ordered_json{{"file", name},
                                               {"modules", plan->modules.size()},
                                               {"bus_switch", plan->busSwitch.has_value()},
                                               {"errors", nlohmann::ordered_json::array()}})
            << '\n';
  else if (!o.quiet)
    env.out << name << ": plan checked, " << plan->modules.size() << " modules\n";
  return kExitOk;
}

void PrintScan(const BusScan& scan, const std::map<int, std::string>& times, const GlobalOptions& o,
               std::ostream& out) {
  if (o.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ScanRow& row : scan.Rows())
      list.push_back({{"command", "ReadModuleType"},
                      {"address", row.address},
                      {"subnet", o.link.Form() == FrameForm::Routed ? nlohmann::ordered_json(o.link.subnet)
                                                                    : nlohmann::ordered_json(nullptr)},
                      {"time", times.count(row.address) ? times.at(row.address) : std::string()},
                      {"module_type", row.moduleType},
                      {"version", row.version.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(row.version)},
                      {"round_trip_ms", row.replyMs}});
    out << JsonLine(list) << '\n';
    return;
  }
  if (!o.quiet)
    out << std::left << std::setw(9) << "Address" << std::setw(13) << "Module Type" << std::setw(20) << "Version"
        << "Reply (ms)\n";
  for (const ScanRow& row : scan.Rows())
    out << std::left << std::setw(9) << row.address << std::setw(13) << row.moduleType << std::setw(20)
        << row.version << FormatReplyMs(row.replyMs) << '\n';
  if (o.quiet) return;
  out << scan.Rows().size() << (scan.Rows().size() == 1 ? " module" : " modules") << " answered of "
      << scan.AddressesDone() << (scan.Stopped() ? " addresses scanned before the stop\n" : " addresses\n");
}

int Scan(int from, int to, Link& link, const GlobalOptions& o, Environment env) {
  ToolExchange::Printer print;
  if (o.showBytes && !o.json && !o.quiet) print = [&env](const std::string& line) { env.out << line << '\n'; };
  ToolExchange exchange(link, o.link, !o.showBytes, print);
  BusScan scan(from, to);
  // A progress line on a terminal, rewritten in place.
  const bool progress = &env.err == &std::cerr && ::isatty(STDERR_FILENO) && !o.quiet;
  std::map<int, std::string> times;  // when each address was asked its type
  const AskRequest ask = [&](PreparedRequest request) {
    ExchangeResult e = exchange.Request(std::move(request));
    ThrowIfLinkFailed(e, link);
    if (e.request.spec && e.request.spec->id == RequestId::ReadModuleType && e.sent)
      times[e.request.values["ADDR"]] = IsoTime(e.sentAt);
    return e;
  };
  RunScan(scan, ask, {o.link.Form(), o.link.subnet}, env.stop ? &env.stop->Flag() : nullptr, [&](const BusScan& s) {
    if (progress) std::cerr << "\rscanned " << s.AddressesDone() << " of " << s.AddressCount() << std::flush;
  });
  if (progress) std::cerr << '\n';
  PrintScan(scan, times, o, env.out);
  env.out << std::flush;
  if (env.stop && env.stop->Raised()) {
    env.err << "veltra-cli: interrupted after " << scan.AddressesDone() << " of "
            << Counted(static_cast<std::size_t>(scan.AddressCount()), "address", "addresses") << '\n';
    return ExitForSignal(env.stop->Reason());
  }
  if (scan.Rows().empty()) {
    env.err << "veltra-cli: nothing answered at addresses " << from << "-" << to << ": check the link\n";
    return kExitNoReply;
  }
  return kExitOk;
}

// The scene table as a plan: one module per address, its scenes by number.
// Trailing "X" channels are left out: a scene sent with fewer channels
// leaves the others unchanged just the same.
int Export(const GlobalOptions& o, const std::string& output, Environment env) {
  SceneDatabase db(o.sceneDb, false);
  SceneRepository& table = db.Store();
  std::vector<SceneRow> rows;
  try {
    rows = table.ReadAll();
  } catch (const SceneStoreError& error) {
    throw StorageError("cannot read the scene database " + o.sceneDb + " (" + error.what() + ")");
  }
  auto cell = [&](const SceneRow& row, std::string_view name) -> SceneValue {
    const int column = table.ColumnOf(name);
    return column < 0 ? SceneValue{} : row.cells[static_cast<std::size_t>(column)];
  };
  auto whole = [](const SceneValue& value, int& out) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
      out = static_cast<int>(*number);
      return *number >= INT_MIN && *number <= INT_MAX;
    }
    if (const auto* real = std::get_if<double>(&value)) {
      out = static_cast<int>(*real);
      return *real == static_cast<double>(out);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
      const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), out);
      return error == std::errc() && end == text->data() + text->size() && !text->empty();
    }
    return false;
  };
  auto codeOf = [](const SceneValue& value) -> std::string {
    if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
    if (const auto* string = std::get_if<std::string>(&value)) return *string;
    return {};
  };

  plan::Plan plan;
  plan.subnet = o.link.subnet;
  std::map<int, plan::Module> modules;
  for (std::size_t row = 0; row < rows.size(); ++row) {
    int address = 0, number = 0;
    const bool addressOk = whole(cell(rows[row], "Module Addr"), address);
    const bool sceneOk = whole(cell(rows[row], "Scene No"), number);
    plan::Scene scene{number, {}};
    try {
      if (!addressOk || !sceneOk || address < plan::kMinModule || address > plan::kMaxModule || number < 0 ||
          number > plan::kMaxScene)
        throw std::invalid_argument("module address or scene number out of range");
      for (int k = 1; k <= kChannelCount; ++k)
        scene.channels.push_back(ParseChannelCode(codeOf(cell(rows[row], "CH" + std::to_string(k)))));
    } catch (const std::invalid_argument& error) {
      env.err << "veltra-cli: scene record " << row + 1 << " left out: " << error.what() << '\n';
      continue;
    }
    while (scene.channels.size() > 1 && scene.channels.back() == kNoChangeItem) scene.channels.pop_back();
    plan::Module& m = modules[address];
    m.address = address;
    bool known = false;
    for (const plan::Scene& s : m.scenes) known = known || s.number == number;
    if (!known) m.scenes.push_back(std::move(scene));  // the window uses the first record of a pair too
  }
  for (auto& [address, m] : modules) {
    std::sort(m.scenes.begin(), m.scenes.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    plan.modules.push_back(std::move(m));
  }
  if (plan.modules.empty()) env.err << "veltra-cli: the scene table holds no scene: the plan names no module\n";
  const std::string text = plan::WritePlan(plan);
  if (output.empty() || output == "-") {
    env.out << text;
    return kExitOk;
  }
  std::FILE* file = std::fopen(output.c_str(), "wb");
  const bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
  const std::string reason = written ? std::string() : std::strerror(errno);
  if (file && std::fclose(file) != 0 && written) throw StorageError("cannot write " + output + " (" + std::strerror(errno) + ")");
  if (!written) throw StorageError("cannot write " + output + " (" + reason + ")");
  return kExitOk;
}

}  // namespace

ToolCommands::ToolCommands(CLI::App& app) : v_(std::make_unique<Values>()) {
  scan_ = app.add_subcommand("scan", "list the modules that answer at a range of addresses");
  scan_->add_option("--from", v_->from, "first address (1-32)")->check(CLI::Range(1, 32))->capture_default_str();
  scan_->add_option("--to", v_->to, "last address (1-32)")->check(CLI::Range(1, 32))->capture_default_str();

  plan_ = app.add_subcommand("plan", "site plans: check, apply, verify, test, export");
  plan_->require_subcommand(1);
  check_ = plan_->add_subcommand("check", "check a plan file without sending anything");
  apply_ = plan_->add_subcommand("apply", "send every setting of a plan, in order");
  verify_ = plan_->add_subcommand("verify", "read back what can be read and print the differences from a plan");
  test_ = plan_->add_subcommand("test", "run the plan's acceptance tests (or the default steps) and report them");
  for (CLI::App* sub : {check_, apply_, verify_, test_})
    sub->add_option("FILE", v_->file, "the plan (TOML); - reads it from the standard input")->required();
  test_->add_option("--tests", v_->test.testsFile, "[[test]] tables in a file beside the plan, used instead of its own");
  test_->add_flag("--non-interactive", v_->test.nonInteractive,
                  "ask nothing: input and identify steps end \"manual\" (also when the input is no terminal)");
  test_->add_flag("--leave", v_->test.leave, "leave the outputs as the steps left them instead of setting them back");
  test_->add_option("--junit", v_->test.junit, "write the results as JUnit XML to this file");
  test_->add_option("--report", v_->test.reports, "write the handover report to FILE.html or FILE.pdf (repeatable)");
  test_->add_option("--report-time", v_->test.reportTime,
                    "the date in the report (YYYY-MM-DD[THH:MM[:SS]][Z]); round trips are then left out, so that "
                    "two runs give the same report");
  apply_->add_flag("--keep-going", v_->keepGoing, "go on after an error status or a missing reply");
  verify_->add_flag("--unplanned", v_->unplanned,
                    "also ask the addresses the plan does not name (1-32); a module there is drift");
  export_ = plan_->add_subcommand("export", "write a plan holding the scenes of a scene table (--scene-db)");
  export_->add_option("--output,-o", v_->output, "write the plan to this file instead of the standard output");
}

ToolCommands::~ToolCommands() = default;

const CLI::App* ToolCommands::Chosen() const {
  for (const CLI::App* sub : {scan_, check_, apply_, verify_, export_, test_})
    if (sub->parsed()) return sub;
  return nullptr;
}

const CLI::App* ToolCommands::ChosenOrParent() const {
  if (const CLI::App* chosen = Chosen()) return chosen;
  return plan_->parsed() ? plan_ : nullptr;
}

bool ToolCommands::NeedsLink() const {
  return scan_->parsed() || apply_->parsed() || verify_->parsed() || test_->parsed();
}

bool ToolCommands::HonoursJson() const { return !export_->parsed(); }

int ToolCommands::Run(const GlobalOptions& o, Environment env) {
  if (export_->parsed()) {
    if (o.sceneDb.empty()) {
      env.err << "veltra-cli: plan export reads the scene table named by --scene-db PATH\n\n" << export_->help();
      return kExitUsage;
    }
    return Export(o, v_->output, env);
  }
  if (scan_->parsed() && v_->from > v_->to) {
    env.err << "veltra-cli: --from is above --to\n\n" << scan_->help();
    return kExitUsage;
  }
  if (check_->parsed()) return Check(v_->file, o, env);
  std::optional<plan::Plan> plan;
  if (!scan_->parsed()) {
    plan = LoadPlan(v_->file, o, env, false);
    if (!plan) return kExitUsage;
  }
  std::unique_ptr<PlanTest> test;
  if (test_->parsed()) {
    v_->test.planFile = v_->file;
    if (!v_->test.testsFile.empty()) {
      std::optional<std::vector<plan::TestStep>> steps = LoadTests(v_->test.testsFile, *plan, env.err);
      if (!steps) return kExitUsage;
      plan->tests = std::move(*steps);
    }
    test = std::make_unique<PlanTest>(*plan, v_->test, o, env);
    if (const auto problem = test->Prepare()) {
      env.err << "veltra-cli: " << *problem << "\n\n" << test_->help();
      return kExitUsage;
    }
  }
  // Checked before anything is sent: a scene database that cannot take
  // what the modules confirm.
  std::unique_ptr<SceneDatabase> db;
  if (apply_->parsed() && !o.sceneDb.empty()) db = std::make_unique<SceneDatabase>(o.sceneDb, true);
  Connection connection(o, env.stop);
  int result = kExitOk;
  if (scan_->parsed())
    result = Scan(v_->from, v_->to, connection.link(), o, env);
  else if (apply_->parsed())
    result = ApplyPlan(*plan, connection.link(), o, env, v_->keepGoing, db.get());
  else if (test)
    result = test->Run(connection.link());
  else
    result = VerifyPlan(*plan, connection.link(), o, env, v_->unplanned);
  connection.Close();
  // The reports name the capture with its SHA-256: written once it is
  // complete. Results that could not be kept outweigh the verdict.
  if (test) {
    const int written = test->WriteFiles();
    if (written != kExitOk) result = written;
  }
  return result;
}

}  // namespace veltra::cli
