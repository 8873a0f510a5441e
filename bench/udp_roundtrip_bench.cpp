// Request round trip over the UDP link, from the click to the decoded field,
// against a loopback peer that answers every request at once; beside a raw
// socket ping-pong with the same peer and the same datagrams.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "scratch_state.h"
#include "window_controls.h"
#include "loopback_udp.h"
#include "silent_dialogs.h"
#include "window_click.h"

using namespace veltra::test;

namespace {

// Routed ReadModuleType reply from module 1 of subnet 1, type 01 2A.
std::vector<unsigned char> Reply() {
  std::vector<unsigned char> frame{0x55, 0xAA, 0x0D, 0x00, 0x01, 0x01, 0x80, 0x06, 0x01, 0x01, 0x2A};
  unsigned sum = 0;
  for (unsigned char b : frame) sum += b;
  const unsigned check = (sum ^ 0x55AA) & 0xFFFF;
  frame.push_back(static_cast<unsigned char>(check >> 8));
  frame.push_back(static_cast<unsigned char>(check & 0xFF));
  return frame;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  constexpr int kRounds = 10'000;
  constexpr int kWarmUp = 200;

  // The peer: answers every datagram with the reply.
  const std::vector<unsigned char> reply = Reply();
  bench::EchoPeer answering(std::vector<std::uint8_t>(reply.begin(), reply.end()));
  const int peerPort = answering.port();

  // Raw ping-pong: sendto, poll, recvfrom.
  std::vector<double> raw;
  {
    int clientPort = 0;
    const int client = bench::LoopbackSocket(&clientPort);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<unsigned short>(peerPort));
    const unsigned char request[10] = {0x55, 0xAA, 0x0A, 0x00, 0x01, 0x01, 0x00, 0x06, 0x54, 0xA5};
    unsigned char buffer[8192];
    for (int i = 0; i < kRounds + kWarmUp; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      ::sendto(client, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      pollfd p{client, POLLIN, 0};
      ::poll(&p, 1, 500);
      ::recvfrom(client, buffer, sizeof buffer, 0, nullptr, nullptr);
      const auto t1 = std::chrono::steady_clock::now();
      if (i >= kWarmUp) raw.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    ::close(client);
  }

  // Through the window: click "Read Module Type", reply decoded into Edit1.
  std::vector<double> window;
  bench::SilentDialogs dialogs;
  veltra::MainWindowOptions options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  veltra::MainWindow form(options);
  form.show();
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit5")->setText(QString::number(peerPort));
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
  int decoded = 0;
  for (int i = 0; i < kRounds + kWarmUp; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    // The reply is taken in the window's event loop, as the operator's is.
    bench::ClickUntilFilled(Button(form, "Button12"), Edit(form, "Edit1"));
    const auto t1 = std::chrono::steady_clock::now();
    if (Edit(form, "Edit1")->text() == "012A") ++decoded;
    if (i >= kWarmUp) window.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  Button(form, "Button32")->click();

  const bench::Percentiles r = bench::Summarise(raw), w = bench::Summarise(window);
  std::printf("udp_roundtrip: %d round trips each, loopback, reply decoded %d/%d\n", kRounds, decoded,
              kRounds + kWarmUp);
  std::printf("  raw socket ping-pong : median %7.1f us  p99 %7.1f us\n", r.median, r.p99);
  std::printf("  click -> Edit1 filled: median %7.1f us  p99 %7.1f us  (median ratio %.2f)\n", w.median, w.p99,
              w.median / r.median);
  return 0;
}
