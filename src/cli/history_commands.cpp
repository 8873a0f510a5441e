#include "cli/history_commands.h"

#include <chrono>
#include <cstdio>

#include "cli/storage_error.h"
#include "history/history_export.h"
#include "history/history_location.h"
#include "history/history_store.h"
#include "history/line_health.h"
#include "history/time_text.h"

namespace veltra::cli {

using namespace veltra::history;

struct HistoryCommands::Values {
  std::string since, until;
  int address = -1;
  std::string command;
  bool failures = false;
  bool json = false, csv = false;
  std::string pcap;
  HealthThresholds thresholds;
  double maxSizeMb = -1;
  int maxAgeDays = -1;
};

namespace {

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// "2026-12-09 10:15:02.123  TCP/IP 127.0.0.1:2001  Received  1/3  ReadStatus  OK!  Output 1 on  (0.8 ms)  [late reply]"
std::string TextLine(const FrameRecord& r, const LinkInfo& link) {
  const RowTexts t = TextsOf(r, link);
  std::string line = t.time + "  " + t.link + "  " + t.direction;
  line += "  " + (t.address.empty() ? std::string("-") : t.subnet.empty() ? t.address : t.subnet + "/" + t.address);
  for (const std::string* field : {&t.command, &t.status, &t.details})
    if (!field->empty()) line += "  " + *field;
  if (!t.roundTrip.empty()) line += "  (" + t.roundTrip + ")";
  if (!t.flags.empty()) line += "  [" + t.flags + "]";
  return line;
}

struct UsageProblem : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

HistoryFilter FilterOf(const std::string& since, const std::string& until,
                       int address, const std::string& command, bool failures) {
  HistoryFilter f;
  const std::int64_t now = NowUs();
  if (!since.empty()) {
    f.sinceUs = ParseTimeText(since, now);
    if (!f.sinceUs) throw UsageProblem("not a time: " + since + " (e.g. 2026-12-09 14:05, 14:05, -10m)");
  }
  if (!until.empty()) {
    f.untilUs = ParseTimeText(until, now);
    if (!f.untilUs) throw UsageProblem("not a time: " + until + " (e.g. 2026-12-09 14:05, 14:05, -10m)");
  }
  if (address >= 0) f.address = address;
  if (!command.empty()) {
    f.commands = CommandCodesNamed(command);
    if (f.commands.empty()) throw UsageProblem("no command is named " + command + " (e.g. On, ReadStatus)");
  }
  f.failuresOnly = failures;
  return f;
}

}  // namespace

std::string HistoryFileOf(const GlobalOptions& o) {
  return o.historyFile.empty() ? DefaultHistoryPath() : o.historyFile;
}

HistoryCommands::HistoryCommands(CLI::App& app) : v_(std::make_unique<Values>()) {
  history_ = app.add_subcommand("history", "print the frames of the frame history, filtered");
  stats_ = app.add_subcommand("stats", "the line's health over a span of the frame history");
  for (CLI::App* sub : {history_, stats_}) {
    sub->add_option("--since", v_->since, "from this time on (2026-12-09 14:05, 14:05, -10m, -2h, -1d)");
    sub->add_option("--until", v_->until, "before this time");
    sub->add_option("--address", v_->address, "only frames to or from this module address")
        ->check(CLI::Range(0, 255));
    sub->add_flag("--json", v_->json, "JSON: one object per frame (history), one object (stats)");
  }
  history_->add_option("--command", v_->command, "only this command, by its name (On, ReadStatus, ...)");
  history_->add_flag("--failures", v_->failures, "only failures: error statuses, no replies, bad frames, noise");
  auto* csv = history_->add_flag("--csv", v_->csv, "CSV with a header line");
  auto* pcap = history_->add_option("--pcap", v_->pcap, "write the frames to this pcap file (for Wireshark)");
  csv->excludes(pcap);
  stats_->add_option("--occupancy-warning", v_->thresholds.occupancyPercent,
                     "warn above this line occupancy, in %")->capture_default_str();
  stats_->add_option("--bad-frames-warning", v_->thresholds.badFramePercent,
                     "warn above this share of bad frames received, in %")->capture_default_str();
  stats_->add_option("--no-reply-warning", v_->thresholds.noReplyPercent,
                     "warn above this share of a module's requests without a reply, in %")->capture_default_str();

  limits_ = app.add_subcommand("history-limits", "show or set how much the frame history keeps");
  limits_->add_option("--max-size", v_->maxSizeMb, "megabytes the frames may take; the oldest go first (0: no limit)")
      ->check(CLI::Range(0.0, 1e7));
  limits_->add_option("--max-age", v_->maxAgeDays, "days a frame is kept (0: no limit)")->check(CLI::Range(0, 100000));
}

HistoryCommands::~HistoryCommands() = default;

const CLI::App* HistoryCommands::Chosen() const {
  for (const CLI::App* sub : {history_, stats_, limits_})
    if (sub->parsed()) return sub;
  return nullptr;
}

int HistoryCommands::Run(const GlobalOptions& o, Environment env) {
  const CLI::App& chosen = *Chosen();
  const std::string path = HistoryFileOf(o);
  if (path.empty()) {
    env.err << "veltra-cli: no place for the frame history: set HOME or XDG_STATE_HOME, or give --history-file\n";
    return kExitUsage;
  }
  HistoryFilter filter;
  try {
    filter = FilterOf(v_->since, v_->until, v_->address, v_->command, v_->failures);
  } catch (const UsageProblem& problem) {
    env.err << "veltra-cli: " << problem.what() << "\n\n" << chosen.help();
    return kExitUsage;
  }

  if (limits_->parsed()) {
    HistoryStore store(path, HistoryStore::Mode::Create);
    HistoryLimits limits = store.Limits();
    if (v_->maxSizeMb >= 0) limits.maxBytes = static_cast<std::int64_t>(v_->maxSizeMb * 1024 * 1024);
    if (v_->maxAgeDays >= 0) limits.maxAgeDays = v_->maxAgeDays;
    store.SetLimits(limits);
    env.out << path << ": " << store.FrameCount() << " frames; keeps "
            << (limits.maxBytes ? std::to_string(limits.maxBytes / (1024 * 1024)) + " MB" : std::string("any size"))
            << ", " << (limits.maxAgeDays ? std::to_string(limits.maxAgeDays) + " days" : std::string("any age"))
            << '\n';
    return kExitOk;
  }

  HistoryStore store(path, HistoryStore::Mode::Existing);
  const bool json = v_->json || o.json;
  if (stats_->parsed()) {
    LineHealth health;
    std::int64_t first = 0, last = 0;
    bool any = false;
    store.ForEach(filter, [&](const FrameRecord& r) {
      health.Add(r, store.Link(r.link));
      if (!any) first = r.timeUs;
      last = r.timeUs;
      any = true;
    });
    // The span asked for, as far as it is given; else that of the frames.
    const std::int64_t from = filter.sinceUs.value_or(first);
    const std::int64_t to = filter.untilUs ? std::min(*filter.untilUs, NowUs()) : last;
    const double seconds = std::max(0.0, (to - from) / 1e6);
    const LineFigures figures = health.Figures(seconds, v_->thresholds);
    env.out << (json ? FiguresJson(figures) + "\n" : FiguresText(figures));
    return kExitOk;
  }

  const RowSource rows = [&](const std::function<void(const FrameRecord&, const LinkInfo&)>& visit) {
    store.ForEach(filter, [&](const FrameRecord& r) { visit(r, store.Link(r.link)); });
  };
  if (!v_->pcap.empty()) {
    std::size_t frames = 0;
    rows([&frames](const FrameRecord& r, const LinkInfo&) {
      if (!r.bytes.empty() && r.kind != ObservedKind::NoReply) ++frames;
    });
    std::vector<std::string> files;
    try {
      files = ExportRows(v_->pcap, ExportFormat::Pcap, rows);
    } catch (const std::runtime_error& error) {
      throw StorageError(error.what());
    }
    env.out << frames << " frames written to " << files[0];
    if (files.size() > 1) env.out << " and " << files[1];
    env.out << '\n';
    return kExitOk;
  }
  if (v_->csv) env.out << CsvHeader() << '\n';
  rows([&](const FrameRecord& r, const LinkInfo& link) {
    env.out << (v_->csv ? CsvLine(r, link) : json ? JsonLine(r, link) : TextLine(r, link)) << '\n';
  });
  env.out << std::flush;
  return kExitOk;
}

}  // namespace veltra::cli
