#pragma once
// The baseline of the veltra-cli benchmarks: "read-type 1" (routed, 10
// bytes) sent on a plain connected socket to the simulated bus switch, one
// at a time, each reply waited for, timed per exchange.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "loopback_udp.h"
#include "protocol/command_catalogue.h"

namespace bench {

struct PingPong {
  int requests = 0;
  int replies = 0;
  double seconds = 0;
  std::vector<double> roundTripsMs;
};

inline PingPong RawPingPong(int port, int requests) {
  using Clock = std::chrono::steady_clock;
  veltra::TransmitBuffer buffer{};
  veltra::RequestValues values;
  values.ints["ADDR"] = 1;
  veltra::BuildRequest(veltra::Request(veltra::RequestId::ReadModuleType), values, {veltra::FrameForm::Routed, 1},
                       buffer);
  veltra::CompleteFrame(buffer.data());
  int local = 0;
  const int fd = LoopbackSocket(&local);
  ConnectTo(fd, port);
  PingPong result;
  result.requests = requests;
  std::uint8_t reply[512];
  const auto start = Clock::now();
  for (int i = 0; i < requests; ++i) {
    const auto t0 = Clock::now();
    if (::send(fd, buffer.data(), buffer[2], 0) < 0) continue;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 500) != 1 || ::recv(fd, reply, sizeof reply, 0) <= 0) continue;
    result.roundTripsMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.replies = static_cast<int>(result.roundTripsMs.size());
  ::close(fd);
  return result;
}

}  // namespace bench
