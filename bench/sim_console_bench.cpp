// The console against the simulated bus, as `veltra --simulate` runs it:
// requests per second and round trip from the click to the decoded field
// over UDP, beside a raw socket ping-pong with an echo thread and a raw
// socket exchange with the same simulator, all in the same run. A short serial
// run over the pseudo-terminal shows what the line's silence gaps cost.
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

#include "console/dialogs.h"
#include "console/form1.h"
#include "console/spin_edit.h"
#include "protocol/frame.h"
#include "protocol/module_commands.h"

namespace {

using Clock = std::chrono::steady_clock;

class SilentDialogs : public veltra::Dialogs {
 public:
  bool Confirm(const QString&) override { return false; }
  void Message(const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
  void ShowError(const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
};

int LoopbackSocket(int* port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    std::perror("socket");
    std::exit(1);
  }
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  if (port) *port = ntohs(address.sin_port);
  return fd;
}

void ConnectTo(int fd, int port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
    std::perror("connect");
    std::exit(1);
  }
}

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
  std::sort(micros.begin(), micros.end());
  f.medianUs = micros[micros.size() / 2];
  f.p99Us = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
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
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  const int serialRounds = argc > 2 ? std::max(0, std::atoi(argv[2])) : 20;
  const int warmup = std::min(500, rounds / 10);

  // The window as `veltra --simulate` builds it (simulator log not printed).
  SilentDialogs dialogs;
  veltra::TForm1Options options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  options.simulationLocalPort = 0;
  options.sceneFolder = QCoreApplication::applicationDirPath() + "/../src/console/";  // the built database
  options.simulation.emplace();
  veltra::TForm1 form(options);
  form.show();
  const int simPort = form.Simulator()->UdpPort();

  // The request the window sends for "Read Module Type" of module 1, routed.
  veltra::TransmitBuffer buffer{};
  veltra::BuildModuleCommand(buffer, veltra::ModuleCommand::ReadModuleType, {veltra::FrameForm::Routed, 1}, 1);
  veltra::CompleteFrame(buffer.data());
  const std::vector<std::uint8_t> request(buffer.begin(), buffer.begin() + buffer[2]);

  // Raw ping-pong with an echo thread.
  int echoPort = 0;
  const int echoFd = LoopbackSocket(&echoPort);
  const int stop = ::eventfd(0, EFD_CLOEXEC);
  std::thread echo([&] {
    std::uint8_t bytes[512];
    for (;;) {
      pollfd p[2] = {{echoFd, POLLIN, 0}, {stop, POLLIN, 0}};
      ::poll(p, 2, -1);
      if (p[1].revents) return;
      sockaddr_in from{};
      socklen_t size = sizeof from;
      const ssize_t n = ::recvfrom(echoFd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&from), &size);
      if (n > 0) ::sendto(echoFd, bytes, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), size);
    }
  });
  auto rawExchange = [&request](int fd) {
    return [fd, &request] {
      std::uint8_t reply[512];
      if (::send(fd, request.data(), request.size(), 0) < 0) return false;
      pollfd p{fd, POLLIN, 0};
      return ::poll(&p, 1, 500) == 1 && ::recv(fd, reply, sizeof reply, 0) > 0;
    };
  };
  const int rawFd = LoopbackSocket(nullptr);
  ConnectTo(rawFd, echoPort);
  const int simFd = LoopbackSocket(nullptr);
  ConnectTo(simFd, simPort);

  std::printf("sim_console_bench: %d exchanges each after %d warm-up, loopback UDP, one request in flight\n", rounds,
              warmup);
  Print("raw socket ping-pong (echo thread)", Measure(rounds, warmup, rawExchange(rawFd)));
  Print("raw socket to the simulator", Measure(rounds, warmup, rawExchange(simFd)));

  // Through the window: click "Read Module Type", type decoded into Edit1.
  form.RadioButton1->setChecked(true);
  form.Button32->click();
  if (form.Button32->text() != "Close") {
    std::fprintf(stderr, "could not open the UDP link\n");
    return 1;
  }
  form.SpinEdit1->SetValue(1);
  int clicks = 0;
  const Figures window = Measure(rounds, warmup, [&] {
    form.Edit1->clear();
    form.Button12->click();
    // The window's own event work (log lines, simulator log) is done every
    // 50 clicks, as an operator's window would between clicks.
    if (++clicks % 50 == 0) QApplication::processEvents();
    return form.Edit1->text() == "0208";
  });
  Print("console click -> Edit1 decoded (UDP)", window);
  form.Button32->click();

  if (serialRounds > 0) {
    form.RadioButton2->setChecked(true);
    form.Button10->click();
    if (form.Button10->text() != "Close") {
      std::fprintf(stderr, "could not open the serial line\n");
      return 1;
    }
    const Figures serial = Measure(serialRounds, 1, [&] {
      form.Edit1->clear();
      form.Button12->click();
      return QTest::qWaitFor([&] { return form.Edit1->text() == "0208"; }, 2000);
    });
    Print("console click -> Edit1 decoded (pty)", serial);
    form.Button10->click();
  }

  const std::uint64_t one = 1;
  if (::write(stop, &one, sizeof one) < 0) std::perror("write");
  echo.join();
  ::close(rawFd);
  ::close(simFd);
  ::close(echoFd);
  ::close(stop);
  return 0;
}
