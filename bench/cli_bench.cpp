// veltra-cli in one process against the in-process simulated bus switch:
// N requests as "--repeat N read-type 1", as "run FILE" with N lines of
// "read-type 1", and as "run FILE" with N lines of 15 different reads, each
// beside a raw socket ping-pong of the same request with the same
// simulator; then how soon a stop (Ctrl+C) ends a request that waits.
//
//   cli_bench [requests]   (default 10000)
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_app.h"
#include "loopback_udp.h"
#include "sim/simulator_runtime.h"
#include "sim_ping_pong.h"

namespace {

using Clock = std::chrono::steady_clock;

double Print(const char* name, int requests, int replies, double seconds, const std::vector<double>& roundTripsMs,
             double raw = 0) {
  const bench::Percentiles p = bench::Summarise(roundTripsMs);
  const double rate = requests / seconds;
  std::printf("%-30s %6d requests, %6d replies: %9.0f requests/s", name, requests, replies, rate);
  if (raw > 0) std::printf(" (%.2f x raw)", rate / raw);
  std::printf(", round trip median %.1f us, p99 %.1f us\n", p.median * 1000, p.p99 * 1000);
  return rate;
}

double RawPingPong(int port, int requests) {
  const bench::PingPong p = bench::RawPingPong(port, requests);
  return Print("raw socket ping-pong", p.requests, p.replies, p.seconds, p.roundTripsMs);
}

// The tool in-process with --json; the rate over the whole run (parsing,
// output and all).
void Cli(const char* name, std::vector<std::string> args, int requests, double raw) {
  std::ostringstream out, err;
  std::istringstream in;
  const auto start = Clock::now();
  const int exit = veltra::cli::Run(args, {out, err, nullptr, &in});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> ms;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) {
    const auto j = nlohmann::json::parse(line);
    if (!j["round_trip_ms"].is_null()) ms.push_back(j["round_trip_ms"].get<double>());
  }
  Print(name, requests, static_cast<int>(ms.size()), seconds, ms, raw);
  if (exit != 0) std::printf("  exit status %d: %s", exit, err.str().c_str());
}

std::string CommandFile(const std::string& path, int lines, bool varied) {
  std::ofstream file(path);
  const char* reads[] = {"read-type", "read-version", "read-status"};
  for (int i = 0; i < lines; ++i) {
    if (varied)
      file << reads[i % 3] << ' ' << (i / 3) % 5 + 1 << '\n';
    else
      file << "read-type 1\n";
  }
  return path;
}

// From the stop's raising to the end of the command, for a request that
// waits (10 s time-out) for a reply that never comes.
void StopLatency(int rounds) {
  int local = 0;
  const int silent = bench::LoopbackSocket(&local);
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    veltra::StopSignal stop;
    std::ostringstream out, err;
    std::istringstream in;
    Clock::time_point raisedAt;
    std::thread raise([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      raisedAt = Clock::now();
      stop.Raise(2);
    });
    veltra::cli::Run({"--udp", "127.0.0.1:" + std::to_string(local), "--local-port", "0", "--timeout", "10000",
                      "read-type", "20"},
                     {out, err, &stop, &in});
    const auto ended = Clock::now();
    raise.join();
    ms.push_back(std::chrono::duration<double, std::milli>(ended - raisedAt).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-30s %6d stops: median %.3f ms, max %.3f ms (target: within 100 ms)\n", "stop while waiting", rounds,
              ms[ms.size() / 2], ms.back());
  ::close(silent);
}

}  // namespace

int main(int argc, char** argv) {
  const int requests = argc > 1 ? std::atoi(argv[1]) : 10000;
  veltra::SimulatorOptions options;
  options.pty = false;
  veltra::SimulatorRuntime sim(options);
  const std::string host = "127.0.0.1:" + std::to_string(sim.UdpPort());
  std::printf("simulated bus switch on %s, request: read-type 1 (routed, 10 bytes)\n", host.c_str());
  const std::vector<std::string> link{"--udp", host, "--local-port", "0", "--json"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = link;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::string same = CommandFile("/tmp/veltra-cli-bench-same.txt", requests, false);
  const std::string varied = CommandFile("/tmp/veltra-cli-bench-varied.txt", requests, true);

  RawPingPong(sim.UdpPort(), 1000);  // warm-up
  const double raw = RawPingPong(sim.UdpPort(), requests);
  Cli("veltra-cli --repeat", with({"--repeat", std::to_string(requests), "read-type", "1"}), requests, raw);
  Cli("veltra-cli run (read-type 1)", with({"run", same}), requests, raw);
  Cli("veltra-cli run (15 reads)", with({"run", varied}), requests, raw);
  RawPingPong(sim.UdpPort(), requests);  // the baseline again, after the tool
  StopLatency(20);
  std::remove(same.c_str());
  std::remove(varied.c_str());
  return 0;
}
