// veltra-cli in one process sending N requests ("read-type 1", --repeat N
// --json) to the in-process simulated bus switch, beside a raw socket
// ping-pong of the same request with the same simulator.
//
//   cli_bench [requests]   (default 10000)
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "sim/simulator_runtime.h"
#include "sim_ping_pong.h"

namespace {

using Clock = std::chrono::steady_clock;

void Print(const char* name, int requests, int replies, double seconds, const std::vector<double>& roundTripsMs) {
  const bench::Percentiles p = bench::Summarise(roundTripsMs);
  std::printf("%-24s %6d requests, %6d replies: %9.0f requests/s, round trip median %.1f us, p99 %.1f us\n", name,
              requests, replies, requests / seconds, p.median * 1000, p.p99 * 1000);
}

void RawPingPong(int port, int requests) {
  const bench::PingPong p = bench::RawPingPong(port, requests);
  Print("raw socket ping-pong", p.requests, p.replies, p.seconds, p.roundTripsMs);
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
