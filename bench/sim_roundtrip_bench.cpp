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

#include "loopback_udp.h"
#include "protocol/command_catalogue.h"
#include "sim/simulator_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

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
  const bench::Percentiles p = bench::Summarise(micros);
  figures.medianUs = p.median;
  figures.p99Us = p.p99;
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

  auto frame = [](veltra::RequestId id) {
    veltra::TransmitBuffer buffer{};
    veltra::RequestValues values;
    values.ints = {{"ADDR", 1}, {"OUTPUT", 1}};
    veltra::BuildRequest(veltra::Request(id), values, {veltra::FrameForm::Routed, 1}, buffer);
    veltra::CompleteFrame(buffer.data());
    return std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + buffer[2]);
  };
  const auto readStatus = frame(veltra::RequestId::ReadStatus);
  const auto on = frame(veltra::RequestId::LightOn);

  // Raw ping-pong: a peer that returns every datagram to its sender.
  bench::EchoPeer echo;

  veltra::SimulatorOptions options;
  options.pty = false;
  veltra::SimulatorRuntime sim(options);

  std::printf("%d exchanges each (after %d warm-up), loopback UDP, one request in flight\n", exchanges, warmup);
  const int rawFd = bench::LoopbackSocket(nullptr);
  bench::ConnectTo(rawFd, echo.port());
  Print("raw socket ping-pong (echo thread)", Run(rawFd, readStatus, exchanges, warmup), readStatus.size());

  const int simFd = bench::LoopbackSocket(nullptr);
  bench::ConnectTo(simFd, sim.UdpPort());
  Print("simulator ReadStatus (20-byte reply)", Run(simFd, readStatus, exchanges, warmup), readStatus.size());
  Print("simulator light On (11-byte reply)", Run(simFd, on, exchanges, warmup), on.size());

  ::close(rawFd);
  ::close(simFd);
  return 0;
}
