// The window under a busy bus: the simulator's load mode sends frames
// unasked at a given rate on the pseudo-terminal and over UDP, the window
// has both links open and the Bus Monitor (following the newest) and Line
// Health panels shown, and every frame goes into the frame history. It
// measures:
//  - ingest: frames a second committed into the history, against those the
//    simulator sent, after a warm-up;
//  - the window's event loop: the lateness of a 4 ms timer, p50/p99/max;
//  - memory: resident size second by second, and its growth per minute
//    between the end of the warm-up and the end; the window's own monitor
//    log and its in-memory capture are counted apart (they keep every line
//    and frame since the start by design).
//
//   bus_monitor_ingest_bench [RATE_PER_LINK] [SECONDS] [udp|serial|both] [CLEAR_EVERY]
//   (default 1000 frames a second on each of both links, 60 s; CLEAR_EVERY
//   > 0: View > "Clear Log" every so many seconds, which empties the log and
//   the capture, so that the Bus Monitor's and the history's own memory shows)
//
// The history goes into a scratch folder, never the user's own.
#include <QApplication>
#include <QDockWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "loopback_udp.h"
#include "history/history_store.h"
#include "monitor/bus_monitor_widget.h"
#include "scratch_state.h"
#include "silent_dialogs.h"
#include "window_controls.h"

using namespace veltra::test;

namespace {

using Clock = std::chrono::steady_clock;

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

struct Sample {
  double seconds;
  std::uint64_t sent;       // by the simulator
  std::int64_t committed;   // into the history
  int rowsShown;
  double residentMb;
  int logLines;
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  const int rate = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int seconds = argc > 2 ? std::max(10, std::atoi(argv[2])) : 60;
  const std::string links = argc > 3 ? argv[3] : "both";
  const bool udp = links != "serial", serial = links != "udp";
  const int clearEvery = argc > 4 ? std::atoi(argv[4]) : 0;
  constexpr int kTickMs = 4;
  constexpr int kWarmUpSeconds = 5;

  bench::SilentDialogs dialogs;
  veltra::SimulatorOptions simulation;
  simulation.udp = true;
  simulation.pty = true;
  simulation.load.rate = rate;
  veltra::MainWindowOptions options = bench::SimulatedWindowOptions(dialogs, simulation);
  auto window = std::make_unique<veltra::MainWindow>(options);
  veltra::MainWindow& form = *window;
  veltra::SimulatorRuntime& sim = *form.Simulator();
  form.show();
  if (udp) {
    Radio(form, "RadioButton1")->setChecked(true);
    Button(form, "Button32")->click();
    // The bus switch sends its load to the host that asked it last.
    Spin(form, "SpinEdit1")->SetValue(1);
    Button(form, "Button12")->click();
  }
  if (serial) {
    Radio(form, "RadioButton2")->setChecked(true);
    Button(form, "Button10")->click();
  }
  Action(form, "ShowBusMonitor")->trigger();
  Action(form, "ShowLineHealth")->trigger();
  veltra::history::MonitorFeed& feed = form.Controller().History();
  veltra::history::HistoryWriter& writer = feed.Writer();
  veltra::BusMonitorWidget* monitor = Control<veltra::BusMonitorWidget>(form, "BusMonitor");

  std::vector<double> lateMs;
  Clock::time_point last = Clock::now();
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    lateMs.push_back(std::max(0.0, std::chrono::duration<double, std::milli>(now - last).count() - kTickMs));
    last = now;
  });

  std::vector<Sample> samples;
  std::size_t warmTicks = 0;
  const Clock::time_point started = Clock::now();
  QTimer sampler;
  sampler.setInterval(1000);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    const double at = std::chrono::duration<double>(Clock::now() - started).count();
    samples.push_back({at, sim.UdpLoadSent() + sim.PtyLoadSent(), writer.Written(), monitor->Model()->rowCount(),
                       ResidentMb(), Memo(form)->document()->blockCount()});
    if (samples.size() == kWarmUpSeconds) warmTicks = lateMs.size();
    if (clearEvery > 0 && samples.size() % static_cast<std::size_t>(clearEvery) == 0) Action(form, "ClearLog")->trigger();
    // exit, not quit: quit closes the window first, which asks before it
    // closes with links open.
    if (at >= seconds) QCoreApplication::exit(0);
  });
  last = Clock::now();
  ticker.start(kTickMs);
  sampler.start();
  app.exec();
  writer.Flush();

  const Sample& warm = samples[kWarmUpSeconds - 1];
  const Sample& end = samples.back();
  const double span = end.seconds - warm.seconds;
  const std::vector<double> steady(lateMs.begin() + static_cast<std::ptrdiff_t>(warmTicks), lateMs.end());
  std::printf("bus_monitor_ingest: load %d frames/s on %s, %d s (first %d s warm-up)%s, history %s\n", rate,
              links == "both" ? "the pty and UDP each" : links.c_str(), seconds, kWarmUpSeconds,
              clearEvery > 0 ? (", Clear Log every " + std::to_string(clearEvery) + " s").c_str() : "",
              feed.HistoryPath().c_str());
  std::printf("  sent by the simulator %.0f frames/s, committed into the history %.0f frames/s (%lld in all, "
              "%lld dropped by the writer)\n",
              (end.sent - warm.sent) / span, (end.committed - warm.committed) / span,
              static_cast<long long>(writer.Written()), static_cast<long long>(writer.Dropped()));
  const auto worst = std::max_element(steady.begin(), steady.end());
  const bench::Percentiles lateness = bench::Summarise(steady);
  std::printf("  event loop: %zu ticks of %d ms, lateness p50 %.2f ms  p99 %.2f ms  max %.2f ms (target p99 <= 50 ms)\n",
              steady.size(), kTickMs, lateness.median, lateness.p99,
              worst == steady.end() ? 0.0 : *worst);
  std::printf("  Bus Monitor: %d rows shown (window of %zu)\n", end.rowsShown,
              monitor->Model()->Capacity());
  std::printf("  resident memory: %.1f MB after the warm-up, %.1f MB at the end: %+.2f MB a minute; the monitor log "
              "holds %d lines (+%.0f a second)\n",
              warm.residentMb, end.residentMb, (end.residentMb - warm.residentMb) / span * 60, end.logLines,
              (end.logLines - warm.logLines) / span);
  const Sample& half = samples[samples.size() / 2];
  std::printf("  resident memory over the second half: %+.2f MB a minute\n",
              (end.residentMb - half.residentMb) / (end.seconds - half.seconds) * 60);
  std::printf("  memory second by second (MB):");
  for (const Sample& s : samples) std::printf(" %.0f", s.residentMb);
  std::printf("\n");
  window.reset();
  return 0;
}
