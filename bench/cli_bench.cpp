// veltra-cli in one process sending N requests ("read-type 1", --repeat N
// --json) to the in-process simulated bus switch, beside a raw socket
// ping-pong of the same request with the same simulator.
//
//   cli_bench [requests]   (default 10000)
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "loopback_udp.h"
#include "protocol/module_commands.h"
#include "protocol/send_path.h"
#include "sim/simulator_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

void Print(const char* name, int requests, int replies, double seconds, const std::vector<double>& roundTripsMs) {
  const bench::Percentiles p = bench::Summarise(roundTripsMs);
  std::printf("%-24s %6d requests, %6d replies: %9.0f requests/s, round trip median %.1f us, p99 %.1f us\n", name,
              requests, replies, requests / seconds, p.median * 1000, p.p99 * 1000);
}

void RawPingPong(int port, int requests) {
  veltra::TransmitBuffer buffer{};
  veltra::BuildModuleCommand(buffer, veltra::ModuleCommand::ReadModuleType, {veltra::FrameForm::Routed, 1}, 1);
  veltra::CompleteFrame(buffer.data());
  int local = 0;
  const int fd = bench::LoopbackSocket(&local);
  bench::ConnectTo(fd, port);
  std::vector<double> ms;
  std::uint8_t reply[512];
  const auto start = Clock::now();
  for (int i = 0; i < requests; ++i) {
    const auto t0 = Clock::now();
    if (::send(fd, buffer.data(), buffer[2], 0) < 0) continue;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 500) != 1 || ::recv(fd, reply, sizeof reply, 0) <= 0) continue;
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(fd);
  Print("raw socket ping-pong", requests, static_cast<int>(ms.size()), seconds, ms);
}

void Cli(int port, int requests) {
  std::ostringstream out, err;
  const auto start = Clock::now();
  const int exit = veltra::cli::Run({"--udp", "127.0.0.1:" + std::to_string(port), "--local-port", "0", "--json",
                                     "--repeat", std::to_string(requests), "read-type", "1"},
                                    {out, err, nullptr});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> ms;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    const auto j = nlohmann::json::parse(line);
    if (!j["round_trip_ms"].is_null()) ms.push_back(j["round_trip_ms"].get<double>());
  }
  Print("veltra-cli --repeat", requests, static_cast<int>(ms.size()), seconds, ms);
  if (exit != 0) std::printf("  exit status %d: %s", exit, err.str().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int requests = argc > 1 ? std::atoi(argv[1]) : 10000;
  veltra::SimulatorOptions options;
  options.pty = false;
  veltra::SimulatorRuntime sim(options);
  std::printf("simulated bus switch on 127.0.0.1:%d, request: read-type 1 (routed, 10 bytes)\n", sim.UdpPort());
  RawPingPong(sim.UdpPort(), 1000);  // warm-up
  RawPingPong(sim.UdpPort(), requests);
  Cli(sim.UdpPort(), requests);
  return 0;
}
