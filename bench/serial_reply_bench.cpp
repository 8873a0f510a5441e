// The console's serial link against the simulated bus: from the click on
// "Read Module Type" (request written) to the type decoded into its field,
// with the simulator's line paced at 9600 baud and unpaced, beside the time
// the request and reply bytes need on a 9600-baud line. A last run puts the
// reader's interval back to the component's 100 ms to show what the gap rule
// cost.
//
//   serial_reply_bench [rounds]   (default 200 per run)
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "scratch_state.h"
#include "window_controls.h"
#include "console/spin_edit.h"
#include "loopback_udp.h"
#include "serial/comm.h"
#include "silent_dialogs.h"

using namespace veltra::test;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBaud = 9600;
constexpr double kBitsPerByte = 10;  // start, eight data bits, stop

struct Run {
  const char* name;
  int simulatorBaud;                          // 0: the pty moves bytes at once
  std::optional<std::uint32_t> readInterval;  // set: replaces the console's own
  int maxRounds;                              // the slow run is kept short
};

struct Figures {
  std::vector<double> millis;
  std::size_t requestBytes = 0, replyBytes = 0;
  int missed = 0;
};

// One click, waited for in the window's own event loop, so the time taken is
// when the field changed, not when a poll loop next looked.
std::optional<double> Round(veltra::MainWindow& form) {
  Edit(form, "Edit1")->clear();
  QEventLoop loop;
  std::optional<Clock::time_point> decoded;
  const auto connection = QObject::connect(Edit(form, "Edit1"), &QLineEdit::textChanged, [&](const QString& text) {
    if (text.isEmpty()) return;
    decoded = Clock::now();
    loop.quit();
  });
  QTimer::singleShot(2000, &loop, &QEventLoop::quit);
  const auto start = Clock::now();
  Button(form, "Button12")->click();
  if (!decoded) loop.exec();
  QObject::disconnect(connection);
  if (!decoded) return std::nullopt;
  return std::chrono::duration<double, std::milli>(*decoded - start).count();
}

Figures Measure(const Run& run, int rounds, bench::SilentDialogs& dialogs) {
  veltra::SimulatorOptions simulation;
  simulation.udp = false;
  simulation.baud = run.simulatorBaud;
  veltra::MainWindow form(bench::SimulatedWindowOptions(dialogs, simulation));

  Figures figures;
  form.Controller().Serial().Port().OnReceiveData = [&figures, deliver = form.Controller().Serial().Port().OnReceiveData](
                                  veltra::TComm& sender, const std::uint8_t* bytes, std::uint16_t length) {
    figures.replyBytes += length;
    deliver(sender, bytes, length);
  };
  Radio(form, "RadioButton2")->setChecked(true);
  Button(form, "Button10")->click();
  if (Caption(form, "Button10") != "Close") {
    std::fprintf(stderr, "could not open the serial line\n");
    std::exit(1);
  }
  if (run.readInterval) form.Controller().Serial().Port().SetReadIntervalTimeout(*run.readInterval);
  Spin(form, "SpinEdit1")->SetValue(1);

  for (int i = 0; i < 3; ++i) Round(form);  // warm-up
  figures.replyBytes = 0;
  for (int i = 0; i < rounds; ++i) {
    if (const auto ms = Round(form))
      figures.millis.push_back(*ms);
    else
      ++figures.missed;
  }
  // The request is the direct "Read Module Type": header, Length, Address,
  // Class, Command, checksum.
  figures.requestBytes = static_cast<std::size_t>(veltra::FrameLength(veltra::FrameForm::Direct, 0));
  if (!figures.millis.empty()) figures.replyBytes /= figures.millis.size() + figures.missed;
  Button(form, "Button10")->click();
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  bench::SilentDialogs dialogs;

  const Run runs[] = {
      {"simulator paced at 9600 baud", kBaud, std::nullopt, rounds},
      {"simulator unpaced", 0, std::nullopt, rounds},
      {"unpaced, reader interval 100 ms", 0, 100u, std::min(rounds, 50)},
  };
  std::printf("serial_reply_bench: click \"Read Module Type\" -> type decoded into Edit1, console at %d baud 8N1,"
              " %d rounds each (the last run fewer)\n",
              kBaud, rounds);
  for (const Run& run : runs) {
    const Figures f = Measure(run, run.maxRounds, dialogs);
    if (f.millis.empty()) {
      std::printf("  %-34s no reply decoded\n", run.name);
      continue;
    }
    const double wireMs = (f.requestBytes + f.replyBytes) * kBitsPerByte * 1000.0 / kBaud;
    const bench::Percentiles p = bench::Summarise(f.millis);
    const double fastest = *std::min_element(f.millis.begin(), f.millis.end());
    std::printf("  %-34s min %7.2f ms  median %7.2f ms  p99 %7.2f ms  missed %d   "
                "wire time at %d baud (%zu + %zu bytes) %.2f ms, median %.2fx\n",
                run.name, fastest, p.median, p.p99, f.missed, kBaud, f.requestBytes, f.replyBytes, wireMs,
                p.median / wireMs);
  }
  return 0;
}
