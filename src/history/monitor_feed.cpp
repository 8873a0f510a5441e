#include "history/monitor_feed.h"

#include <stdlib.h>

#include <filesystem>

namespace veltra::history {
namespace {

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void LiveHealth::Add(const FrameRecord& record, const LinkInfo& link) {
  const std::int64_t second = record.timeUs / 1'000'000;
  Second& slot = seconds_[static_cast<std::size_t>(second % kSeconds)];
  if (slot.second != second) {
    slot.second = second;
    slot.health.Clear();
  }
  slot.health.Add(record, link);
  session_.Add(record, link);
}

LineFigures LiveHealth::Figures(std::int64_t nowUs, int seconds, const HealthThresholds& thresholds) const {
  const double sessionSeconds = std::max(0.0, (nowUs - startUs_) / 1e6);
  if (seconds <= 0) return session_.Figures(sessionSeconds, thresholds);
  seconds = std::min(seconds, kSeconds);
  const std::int64_t now = nowUs / 1'000'000;
  LineHealth span;
  for (const Second& slot : seconds_)
    if (slot.second > now - seconds && slot.second <= now) span.Merge(slot.health);
  return span.Figures(std::min<double>(seconds, sessionSeconds), thresholds);
}

MonitorFeed::MonitorFeed(const std::string& path, const std::string& program) : health_(NowUs()) {
  try {
    if (path.empty()) throw HistoryError("no place for the frame history: HOME and XDG_STATE_HOME are not set");
    writer_ = std::make_unique<HistoryWriter>(path, program);
  } catch (const HistoryError& error) {
    problem_ = error.what();
    std::string folder = (std::filesystem::temp_directory_path() / "veltra-history-XXXXXX").string();
    if (!::mkdtemp(folder.data())) throw;
    temporaryFolder_ = folder;
    writer_ = std::make_unique<HistoryWriter>(folder + "/history.sqlite", program);
  }
}

MonitorFeed::~MonitorFeed() {
  writer_.reset();
  if (!temporaryFolder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(temporaryFolder_, ignored);
  }
}

void MonitorFeed::OnObserved(const ObservedFrame& frame) {
  FrameRecord record = RecordOf(frame);
  LinkInfo link = LinkInfoOf(frame.peer, frame.line);
  {
    std::lock_guard lock(healthMutex_);
    health_.Add(record, link);
  }
  writer_->Record(std::move(link), std::move(record));
}

LineFigures MonitorFeed::Figures(int seconds, const HealthThresholds& thresholds) const {
  std::lock_guard lock(healthMutex_);
  return health_.Figures(NowUs(), seconds, thresholds);
}

}  // namespace veltra::history
