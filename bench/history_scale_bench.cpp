// The frame history at scale: a history of a busy bus is written (the
// simulator's load traffic to 32 modules, 2,000 frames a second, with a
// share of failures), then timed:
//  - writing: frames a second through the store, in batches as the writer
//    commits them;
//  - the file's cost in bytes per frame (after the WAL is written back);
//  - a filtered query over 1,000,000 frames: one address, failures only,
//    every matching row read;
//  - opening the history as the Bus Monitor does: the file opened, the
//    number of frames and the span, the newest page and the oldest page,
//    and a page from the middle of the span ("Show history since");
//  - the Bus Monitor's table model opened on it: the whole history, this
//    (new) session, failures only, history since the middle, and a command
//    that never occurs (its first page within the search budget, then the
//    whole history searched tick by tick).
//
//   history_scale_bench [FRAMES] [FOLDER]   (default 10,000,000 in /tmp)
//
// The file is made once and kept between runs (delete it to start afresh).
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "monitor/bus_monitor_model.h"
#include "sim/load_traffic.h"

namespace {

using namespace veltra;
using namespace veltra::history;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kStartUs = 1'765'000'000'000'000;  // December 2025
constexpr std::int64_t kPeriodUs = 500;                  // 2,000 frames a second
constexpr int kBatch = 500;                              // a quarter second's frames, as the writer commits

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The records of a busy bus: the load traffic, with one request in 100
// left without a reply, one reply in 200 with an error status, and one
// frame in 500 with a bad checksum.
class Traffic {
 public:
  Traffic() : load_(FrameForm::Routed, 1, Addresses()) {}
  FrameRecord Next(std::int64_t timeUs) {
    const std::uint64_t k = n_++;
    ObservedFrame f;
    SimFrame frame = load_.Next();
    const bool reply = k % 2 == 1;
    f.kind = reply ? ObservedKind::Answer : ObservedKind::Sent;
    if (reply && k % 200 == 1) {
      frame[8] = kStatusParameterError;
      CompleteFrame(frame.data());
    }
    if (!reply && k % 100 == 4) f.kind = ObservedKind::NoReply;
    if (k % 500 == 7) {
      frame.back() ^= 0x5A;
      f.kind = ObservedKind::NotAFrame;
    }
    if (f.kind == ObservedKind::Answer) f.roundTrip = std::chrono::microseconds(800 + static_cast<int>(k % 700));
    f.bytes = frame;
    f.form = FrameForm::Routed;
    f.at = std::chrono::system_clock::time_point(std::chrono::microseconds(timeUs));
    return RecordOf(f);
  }

 private:
  static std::vector<int> Addresses() {
    std::vector<int> a;
    for (int i = 1; i <= 32; ++i) a.push_back(i);
    return a;
  }
  LoadTraffic load_;
  std::uint64_t n_ = 0;
};

std::int64_t FileBytes(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::int64_t>(size);
}

// Makes (or keeps) a history of `frames` frames; returns the write rate
// when it was made now.
double Fill(const std::string& path, std::int64_t frames) {
  {
    HistoryStore existing(path);
    if (existing.FrameCount() >= frames) return 0;
  }
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
  HistoryStore store(path);
  store.SetLimits({0, 0});
  const std::int64_t session = store.StartSession("history_scale_bench");
  const std::int64_t link = store.LinkId(LinkInfoOf({"127.0.0.1", 2001}, {}));
  Traffic traffic;
  std::vector<FrameRecord> batch;
  const auto start = Clock::now();
  for (std::int64_t i = 0; i < frames;) {
    batch.clear();
    for (int b = 0; b < kBatch && i < frames; ++b, ++i) {
      FrameRecord r = traffic.Next(kStartUs + i * kPeriodUs);
      r.session = session;
      r.link = link;
      batch.push_back(std::move(r));
    }
    store.Append(batch);
    if (i % 1'000'000 == 0) std::fprintf(stderr, "  %lld frames written\n", static_cast<long long>(i));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  store.Checkpoint();
  return static_cast<double>(frames) / seconds;
}

void Report(const std::string& path, std::int64_t frames, double writeRate) {
  std::printf("\n%lld frames in %s\n", static_cast<long long>(frames), path.c_str());
  if (writeRate > 0) std::printf("  written at %.0f frames/s (batches of %d, one transaction each)\n", writeRate, kBatch);
  HistoryStore store(path, HistoryStore::Mode::Existing);
  store.Checkpoint();
  std::printf("  file %.1f MB: %.1f bytes per frame (pages in use %.1f bytes per frame)\n", FileBytes(path) / 1e6,
              static_cast<double>(FileBytes(path)) / frames, static_cast<double>(store.UsedBytes()) / frames);
}

void TimeFilteredQuery(const std::string& path) {
  HistoryFilter filter;
  filter.address = 17;
  filter.failuresOnly = true;
  std::vector<double> times;
  std::size_t rows = 0;
  for (int run = 0; run < 7; ++run) {
    HistoryStore store(path, HistoryStore::Mode::Existing);
    rows = 0;
    const auto start = Clock::now();
    store.ForEach(filter, [&rows](const FrameRecord&) { ++rows; });
    times.push_back(Ms(Clock::now() - start));
  }
  std::printf("  one address, failures only: %zu rows, first run %.1f ms, median of 7 %.1f ms (target < 200 ms)\n",
              rows, times[0], Median(times));
  HistoryStore store(path, HistoryStore::Mode::Existing);
  std::printf("  plan: %s", store.QueryPlan(filter).c_str());
  filter.failuresOnly = false;
  filter.commands = CommandCodesNamed("ReadStatus");
  times.clear();
  for (int run = 0; run < 5; ++run) {
    rows = 0;
    const auto start = Clock::now();
    store.ForEach(filter, [&rows](const FrameRecord&) { ++rows; });
    times.push_back(Ms(Clock::now() - start));
  }
  std::printf("  one address, one command: %zu rows, median of 5 %.1f ms\n", rows, Median(times));
}

void TimeOpening(const std::string& path) {
  std::vector<double> totals;
  double count = 0, newest = 0, oldest = 0, middle = 0;
  std::int64_t frames = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = Clock::now();
    HistoryStore store(path, HistoryStore::Mode::Existing);
    frames = store.FrameCount();
    const auto span = store.TimeSpan();
    const auto counted = Clock::now();
    const std::vector<FrameRecord> last = store.Before({}, std::nullopt, 200);
    const auto tail = Clock::now();
    const std::vector<FrameRecord> first = store.After({}, std::nullopt, 200);
    const auto head = Clock::now();
    HistoryFilter since;
    since.sinceUs = (span->first + span->second) / 2;
    const std::vector<FrameRecord> mid = store.After(since, std::nullopt, 200);
    const auto done = Clock::now();
    if (last.size() != 200 || first.size() != 200 || mid.size() != 200) std::printf("  short page!\n");
    totals.push_back(Ms(done - start));
    count = Ms(counted - start);
    newest = Ms(tail - counted);
    oldest = Ms(head - tail);
    middle = Ms(done - head);
  }
  std::printf("  opening: %lld frames counted in %.2f ms, newest page %.2f ms, oldest page %.2f ms, page from the "
              "middle %.2f ms; all together first run %.1f ms, median of 5 %.1f ms (target < 1000 ms)\n",
              static_cast<long long>(frames), count, newest, oldest, middle, totals[0], Median(totals));
}

// Opens the table model with the filter and returns the milliseconds it took
// and the rows it shows.
std::pair<double, int> OpenModel(const std::string& path, const HistoryFilter& filter, bool fromStart) {
  const auto start = Clock::now();
  veltra::BusMonitorModel model(path);
  model.Show(filter, fromStart);
  return {Ms(Clock::now() - start), model.rowCount()};
}

void TimeMonitorOpening(const std::string& path) {
  std::int64_t session = 0, middle = 0;
  {
    HistoryStore store(path, HistoryStore::Mode::Existing);
    session = store.StartSession("history_scale_bench");  // a window just started
    const auto span = store.TimeSpan();
    middle = (span->first + span->second) / 2;
  }
  struct Case {
    const char* name;
    HistoryFilter filter;
    bool fromStart;
  };
  HistoryFilter thisSession, failures, since, never;
  thisSession.session = session;
  failures.failuresOnly = true;
  since.sinceUs = middle;
  never.commands = CommandCodesNamed("Restore");
  for (const Case& c : {Case{"whole history", {}, false}, Case{"this session (new)", thisSession, false},
                        Case{"failures only", failures, false}, Case{"history since the middle", since, true},
                        Case{"a command that never occurs", never, false}}) {
    std::vector<double> times;
    int rows = 0;
    for (int run = 0; run < 3; ++run) {
      const auto [ms, shown] = OpenModel(path, c.filter, c.fromStart);
      times.push_back(ms);
      rows = shown;
    }
    std::printf("  Bus Monitor opened on %s: %d rows, first run %.1f ms, median of 3 %.1f ms (target < 1000 ms)\n",
                c.name, rows, times[0], Median(times));
  }
  // The command that never occurs, searched to the end as the panel's ticks
  // do it, a budget of 40 ms each.
  veltra::BusMonitorModel model(path);
  const auto start = Clock::now();
  model.Show(never);
  double longest = Ms(Clock::now() - start);
  int ticks = 1;
  while (model.MayHaveOlder()) {
    const auto tick = Clock::now();
    model.FetchOlder();
    longest = std::max(longest, Ms(Clock::now() - tick));
    ++ticks;
  }
  std::printf("  ... searched to the start of the history in %d ticks, %.0f ms in all, the longest tick %.0f ms\n",
              ticks, Ms(Clock::now() - start), longest);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t frames = argc > 1 ? std::atoll(argv[1]) : 10'000'000;
  const std::string folder = argc > 2 ? argv[2] : "/tmp";
  const std::string million = folder + "/veltra-history-bench-1m.sqlite";
  const std::string large = folder + "/veltra-history-bench-" + std::to_string(frames) + ".sqlite";

  const double millionRate = Fill(million, 1'000'000);
  Report(million, 1'000'000, millionRate);
  TimeFilteredQuery(million);
  TimeOpening(million);
  TimeMonitorOpening(million);

  if (frames != 1'000'000) {
    const double rate = Fill(large, frames);
    Report(large, frames, rate);
    TimeOpening(large);
    TimeMonitorOpening(large);
    TimeFilteredQuery(large);
  }
  return 0;
}
