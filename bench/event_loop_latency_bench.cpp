// The window's event loop while its requests wait for a silent peer: a timer
// ticks every few milliseconds, and the lateness of each tick is measured
// while "Read Module Type" goes, again and again, over the UDP link to a
// loopback socket that never answers (each request waits its whole 500 ms).
// A window that waits inside the click is late by the whole wait.
//
//   event_loop_latency_bench [REQUESTS]   (default 20, about 10 s)
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "scratch_state.h"
#include "window_controls.h"
#include "console/spin_edit.h"
#include "loopback_udp.h"
#include "silent_dialogs.h"

using namespace veltra::test;

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  constexpr int kTickMs = 4;

  // The silent peer: bound on loopback, never read, never answering.
  int silentPort = 0;
  const int silent = bench::LoopbackSocket(&silentPort);

  bench::SilentDialogs dialogs;
  veltra::MainWindowOptions options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  options.busSwitchBroadcastHost = "127.0.0.1";
  veltra::MainWindow form(options);
  form.show();
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit5")->setText(QString::number(silentPort));
  {
    int freePort = 0;
    const int probe = bench::LoopbackSocket(&freePort);
    ::close(probe);
    Edit(form, "Edit6")->setText(QString::number(freePort));
  }
  Radio(form, "RadioButton1")->setChecked(true);
  Button(form, "Button32")->click();
  if (Caption(form, "Button32") != "Close") {
    std::fprintf(stderr, "could not open the UDP link\n");
    return 1;
  }
  Spin(form, "SpinEdit1")->SetValue(1);
  // The window's first layout and painting are over before the measuring.
  for (const auto settled = Clock::now() + std::chrono::milliseconds(300); Clock::now() < settled;)
    QApplication::processEvents(QEventLoop::AllEvents, 10);

  // Lateness of every tick against the one before it.
  std::vector<double> lateMs;
  Clock::time_point last = Clock::now();
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    const double gap = std::chrono::duration<double, std::milli>(now - last).count();
    lateMs.push_back(std::max(0.0, gap - kTickMs));
    last = now;
  });

  // A new request as soon as the window may send again.
  int sent = 0, timedOut = 0;
  const Clock::time_point started = Clock::now();
  QTimer driver;
  driver.setInterval(10);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (!Button(form, "Button12")->isEnabled()) return;
    if (sent > 0 && form.ExchangeText() == "No reply within 500 ms") ++timedOut;
    if (sent == requests) {
      // exit, not quit: quit closes the window first, which asks before it
      // closes with a link open.
      QCoreApplication::exit(0);
      return;
    }
    ++sent;
    Button(form, "Button12")->click();
  });
  last = Clock::now();
  ticker.start(kTickMs);
  driver.start();
  app.exec();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  Button(form, "Button32")->click();
  ::close(silent);

  std::printf("event_loop_latency: %d requests to a silent loopback peer (%d timed out after 500 ms), %.1f s\n",
              sent, timedOut, seconds);
  const auto worst = std::max_element(lateMs.begin(), lateMs.end());
  const bench::Percentiles lateness = bench::Summarise(lateMs);
  std::printf("  timer every %d ms, %zu ticks: lateness p50 %.2f ms  p99 %.2f ms  max %.2f ms (tick %td)"
              "  (target p99 <= 16 ms)\n",
              kTickMs, lateMs.size(), lateness.median, lateness.p99,
              worst == lateMs.end() ? 0.0 : *worst, worst - lateMs.begin());
  return 0;
}
