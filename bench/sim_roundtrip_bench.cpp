// Round trips to the simulated bus switch over loopback UDP, one request at a
// time (send a complete frame, wait for its reply), beside a raw UDP
// ping-pong with an echo thread in the same run.
//
//   sim_roundtrip_bench [exchanges]   (default 10000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "protocol/output_commands.h"
#include "sim/simulator_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

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
  int lost = 0;
};

// `exchanges` round trips of `request` on a socket connected to the server.
Figures Run(int fd, const std::vector<std::uint8_t>& request, int exchanges, int warmup) {
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(exchanges));
  Figures figures;
  std::uint8_t reply[512];
  for (int i = 0; i < warmup + exchanges; ++i) {
    if (i == warmup) micros.clear();
    const auto t0 = Clock::now();
    if (::send(fd, request.data(), request.size(), 0) < 0) std::perror("send");
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 500) != 1 || ::recv(fd, reply, sizeof reply, 0) <= 0) {
      ++figures.lost;
      continue;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  if (micros.empty()) return figures;
  double total = 0;
  for (double m : micros) total += m;
  std::sort(micros.begin(), micros.end());
  figures.medianUs = micros[micros.size() / 2];
  figures.p99Us = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  figures.perSecond = 1e6 * static_cast<double>(micros.size()) / total;
  return figures;
}

void Print(const char* name, const Figures& f, std::size_t bytes) {
  std::printf("%-38s %4zu-byte request  median %7.1f us  p99 %7.1f us  %9.0f requests/s  lost %d\n", name,
              bytes, f.medianUs, f.p99Us, f.perSecond, f.lost);
}

}  // namespace

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  const int warmup = std::min(1000, exchanges / 10);

  auto frame = [](veltra::OutputCommand command) {
    veltra::TransmitBuffer buffer{};
    veltra::BuildOutputCommand(buffer, command, {veltra::FrameForm::Routed, 1}, {1, 1, 0});
    veltra::CompleteFrame(buffer.data());
    return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + buffer[2]);
  };
  const auto readStatus = frame(veltra::OutputCommand::LightReadStatus);
  const auto on = frame(veltra::OutputCommand::LightOn);

  // Raw ping-pong: an echo thread that returns every datagram to its sender.
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

  veltra::SimulatorOptions options;
  options.pty = false;
  veltra::SimulatorRuntime sim(options);

  std::printf("%d exchanges each (after %d warm-up), loopback UDP, one request in flight\n", exchanges, warmup);
  const int rawFd = LoopbackSocket(nullptr);
  ConnectTo(rawFd, echoPort);
  Print("raw socket ping-pong (echo thread)", Run(rawFd, readStatus, exchanges, warmup), readStatus.size());

  const int simFd = LoopbackSocket(nullptr);
  ConnectTo(simFd, sim.UdpPort());
  Print("simulator ReadStatus (20-byte reply)", Run(simFd, readStatus, exchanges, warmup), readStatus.size());
  Print("simulator light On (11-byte reply)", Run(simFd, on, exchanges, warmup), on.size());

  const std::uint64_t one = 1;
  if (::write(stop, &one, sizeof one) < 0) std::perror("write");
  echo.join();
  ::close(rawFd);
  ::close(simFd);
  ::close(echoFd);
  ::close(stop);
  return 0;
}
