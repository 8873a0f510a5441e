// What "Timestamps" (with the round trip after each reply line and in the
// status panel) costs a request: click to decoded field over the UDP link
// against a loopback peer, with the log put on screen as the event loop
// does it, timestamps off and on taking turns in the same run.
//
//   log_display_bench [exchanges per setting] [block size]   (default 10000 and 500)
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scratch_state.h"
#include "window_controls.h"
#include "loopback_udp.h"
#include "silent_dialogs.h"
#include "window_click.h"

using namespace veltra::test;

namespace {

using Clock = std::chrono::steady_clock;

// Routed ReadModuleType reply from module 1 of subnet 1, type 01 2A.
std::vector<std::uint8_t> Reply() {
  std::vector<std::uint8_t> frame{0x55, 0xAA, 0x0D, 0x00, 0x01, 0x01, 0x80, 0x06, 0x01, 0x01, 0x2A};
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  const unsigned check = (sum ^ 0x55AA) & 0xFFFF;
  frame.push_back(static_cast<std::uint8_t>(check >> 8));
  frame.push_back(static_cast<std::uint8_t>(check & 0xFF));
  return frame;
}

struct Setting {
  const char* name;
  bool timestamps;
  std::vector<double> clicks;  // microseconds, click to Edit1 filled
  double seconds = 0;          // wall time of its blocks, the log's layout included
  int decoded = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  const int perSetting = argc > 1 ? std::atoi(argv[1]) : 10'000;
  const int block = argc > 2 ? std::atoi(argv[2]) : 500;
  constexpr int kWarmUp = 300;

  bench::EchoPeer peer(Reply());
  bench::SilentDialogs dialogs;
  veltra::MainWindowOptions options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  veltra::MainWindow form(options);
  form.show();
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit5")->setText(QString::number(peer.port()));
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

  auto exchange = [&](Setting* setting) {
    const auto t0 = Clock::now();
    // The reply is taken in the window's event loop, as the operator's is.
    bench::ClickUntilFilled(Button(form, "Button12"), Edit(form, "Edit1"));
    const auto t1 = Clock::now();
    if (!setting) return;
    if (Edit(form, "Edit1")->text() == "012A") ++setting->decoded;
    setting->clicks.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  };
  for (int i = 0; i < kWarmUp; ++i) exchange(nullptr);
  QApplication::processEvents();

  // Off and on take turns click by click: the growing log and the machine's
  // load weigh on both alike. The log reaches the screen every ten clicks,
  // as it would between an operator's clicks; that time is counted per
  // setting by running blocks of one setting too.
  Setting settings[2] = {{"timestamps off", false, {}}, {"timestamps + round trip on", true, {}}};
  for (int i = 0; i < 2 * perSetting; ++i) {
    Setting& setting = settings[i % 2];
    Action(form, "Timestamps")->setChecked(setting.timestamps);
    exchange(&setting);
    if (i % 10 == 9) QApplication::processEvents();
  }
  for (int done = 0; done < perSetting; done += block) {
    for (Setting& setting : settings) {
      Action(form, "Timestamps")->setChecked(setting.timestamps);
      const auto start = Clock::now();
      for (int i = 0; i < block && done + i < perSetting; ++i) {
        exchange(nullptr);
        if (i % 10 == 9) QApplication::processEvents();
      }
      QApplication::processEvents();
      setting.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
  }
  Button(form, "Button32")->click();

  std::printf("log_display: %d exchanges per setting over loopback UDP, taking turns; blocks of %d for the rate\n", perSetting,
              block);
  for (const Setting& s : settings) {
    const bench::Percentiles p = bench::Summarise(s.clicks);
    std::printf("  %-28s median %7.1f us  p99 %7.1f us  %8.0f exchanges/s (log shown)  decoded %d\n", s.name,
                p.median, p.p99, perSetting / s.seconds, s.decoded);
  }
  const double off = bench::Summarise(settings[0].clicks).median;
  const double on = bench::Summarise(settings[1].clicks).median;
  const double offRate = perSetting / settings[0].seconds;
  const double onRate = perSetting / settings[1].seconds;
  std::printf("  on vs off: median click %+.1f %%, exchanges/s %+.1f %% (target: no more than 5 %% slower)\n",
              100.0 * (on - off) / off, 100.0 * (onRate - offRate) / offRate);
  return 0;
}
