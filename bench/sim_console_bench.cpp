// The console against the simulated bus, as `veltra --simulate` runs it:
// requests per second and round trip from the click to the decoded field
// over UDP, beside a raw socket ping-pong with an echo thread and a raw
// socket exchange with the same simulator, all in the same run. A short serial
// run over the (unpaced) pseudo-terminal follows; serial_reply_bench measures
// the serial link against a line paced at 9600 baud.
//
//   sim_console_bench [exchanges] [serial exchanges]   (default 10000 and 20)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "scratch_state.h"
#include "window_controls.h"
#include "console/spin_edit.h"
#include "protocol/frame.h"
#include "protocol/command_catalogue.h"
#include "loopback_udp.h"
#include "silent_dialogs.h"
#include "window_click.h"

using namespace veltra::test;

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double medianUs = 0, p99Us = 0, perSecond = 0;
  int done = 0, missed = 0;
};

// Runs `exchange` warmup + rounds times; it returns false for a round that
// got no (right) answer. Median and p99 over the answered rounds, requests
// per second over the wall time of all measured rounds.
Figures Measure(int rounds, int warmup, const std::function<bool()>& exchange) {
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(rounds));
  Figures f;
  for (int i = 0; i < warmup; ++i) exchange();
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = Clock::now();
    const bool ok = exchange();
    const auto t1 = Clock::now();
    if (!ok) {
      ++f.missed;
      continue;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  f.done = static_cast<int>(micros.size());
  if (micros.empty()) return f;
  const bench::Percentiles p = bench::Summarise(micros);
  f.medianUs = p.median;
  f.p99Us = p.p99;
  f.perSecond = rounds / wall;
  return f;
}

void Print(const char* name, const Figures& f) {
  std::printf("  %-44s median %9.1f us  p99 %9.1f us  %9.0f requests/s  answered %d, missed %d\n", name,
              f.medianUs, f.p99Us, f.perSecond, f.done, f.missed);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  const int serialRounds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 20;
  const int warmup = std::min(500, rounds / 10);

  bench::SilentDialogs dialogs;
  veltra::MainWindow form(bench::SimulatedWindowOptions(dialogs));
  form.show();
  const int simPort = form.Simulator()->UdpPort();

  // The request the window sends for "Read Module Type" of module 1, routed.
  veltra::RequestValues values;
  values.ints["ADDR"] = 1;
  veltra::TransmitBuffer buffer =
      veltra::PrepareRequest(veltra::Request(veltra::RequestId::ReadModuleType), values, {veltra::FrameForm::Routed, 1})
          .buffer;
  veltra::CompleteFrame(buffer.data());
  const std::vector<std::uint8_t> request(buffer.begin(), buffer.begin() + buffer[2]);

  // Raw ping-pong with a peer that returns every datagram.
  bench::EchoPeer echo;
  auto rawExchange = [&request](int fd) {
    return [fd, &request] {
      std::uint8_t reply[512];
      if (::send(fd, request.data(), request.size(), 0) < 0) return false;
      pollfd p{fd, POLLIN, 0};
      return ::poll(&p, 1, 500) == 1 && ::recv(fd, reply, sizeof reply, 0) > 0;
    };
  };
  const int rawFd = bench::LoopbackSocket(nullptr);
  bench::ConnectTo(rawFd, echo.port());
  const int simFd = bench::LoopbackSocket(nullptr);
  bench::ConnectTo(simFd, simPort);

  std::printf("sim_console_bench: %d exchanges each after %d warm-up, loopback UDP, one request in flight\n", rounds,
              warmup);
  Print("raw socket ping-pong (echo thread)", Measure(rounds, warmup, rawExchange(rawFd)));
  Print("raw socket to the simulator", Measure(rounds, warmup, rawExchange(simFd)));

  // Through the window: click "Read Module Type", type decoded into Edit1.
  Radio(form, "RadioButton1")->setChecked(true);
  Button(form, "Button32")->click();
  if (Caption(form, "Button32") != "Close") {
    std::fprintf(stderr, "could not open the UDP link\n");
    return 1;
  }
  Spin(form, "SpinEdit1")->SetValue(1);
  const Figures window = Measure(rounds, warmup, [&] {
    // The reply is taken in the window's event loop, as the operator's is.
    return bench::ClickUntilFilled(Button(form, "Button12"), Edit(form, "Edit1")) && Edit(form, "Edit1")->text() == "0208";
  });
  Print("console click -> Edit1 decoded (UDP)", window);
  Button(form, "Button32")->click();

  if (serialRounds > 0) {
    Radio(form, "RadioButton2")->setChecked(true);
    Button(form, "Button10")->click();
    if (Caption(form, "Button10") != "Close") {
      std::fprintf(stderr, "could not open the serial line\n");
      return 1;
    }
    const Figures serial = Measure(serialRounds, 1, [&] {
      return bench::ClickUntilFilled(Button(form, "Button12"), Edit(form, "Edit1")) && Edit(form, "Edit1")->text() == "0208";
    });
    Print("console click -> Edit1 decoded (pty)", serial);
    Button(form, "Button10")->click();
  }

  ::close(rawFd);
  ::close(simFd);
  return 0;
}
