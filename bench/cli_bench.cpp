// veltra-cli in one process against the in-process simulated bus switch:
// N requests as "--repeat N read-type 1", as "run FILE" with N lines of
// "read-type 1", and as "run FILE" with N lines of 15 different commands
// (each printing JSON), and "run FILE" with --quiet, beside a raw socket
// ping-pong of the same request with the same simulator; the rates are
// medians over rounds that run each in turn. Then
// how soon a stop (Ctrl+C) ends a request that waits.
//
//   cli_bench [requests [rounds]]   (default 10000 and 5)
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "cli/cli_app.h"
#include "loopback_udp.h"
#include "sim/simulator_runtime.h"
#include "sim_ping_pong.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread, in the program and in the system: the
// tool's own work (or the raw loop's), without the simulator's thread.
struct Cpu {
  double user = 0, system = 0;
};
Cpu ThreadCpu() {
  rusage r{};
  ::getrusage(RUSAGE_THREAD, &r);
  return {r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6, r.ru_stime.tv_sec + r.ru_stime.tv_usec / 1e6};
}

struct Sample {
  double rate = 0;      // requests per second of wall time
  double userUs = 0;    // CPU microseconds a request of the sending thread, in the program
  double systemUs = 0;  // ... and in the system
  double medianUs = 0;  // median round trip
  int replies = 0;
};

Sample Measured(double seconds, Cpu before, int requests, double medianUs, int replies) {
  const Cpu after = ThreadCpu();
  return {requests / seconds, (after.user - before.user) * 1e6 / requests,
          (after.system - before.system) * 1e6 / requests, medianUs, replies};
}

Sample RawPingPong(int port, int requests) {
  const Cpu cpu = ThreadCpu();
  const bench::PingPong p = bench::RawPingPong(port, requests);
  return Measured(p.seconds, cpu, requests, bench::Summarise(p.roundTripsMs).median * 1000, p.replies);
}

// The tool in-process; over the whole run (parsing, output and all). The
// round trips are read from its JSON output when it gives one.
Sample Cli(std::vector<std::string> args, int requests) {
  std::ostringstream out, err;
  std::istringstream in;
  const Cpu cpu = ThreadCpu();
  const auto start = Clock::now();
  const int exit = veltra::cli::Run(args, {out, err, nullptr, &in});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Sample sample = Measured(seconds, cpu, requests, 0, 0);
  std::vector<double> ms;
  int lineCount = 0;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line); ++lineCount) {
    if (line.front() != '{') continue;
    const auto j = nlohmann::json::parse(line);
    if (!j["round_trip_ms"].is_null()) ms.push_back(j["round_trip_ms"].get<double>());
  }
  if (exit != 0) std::printf("  exit status %d: %s", exit, err.str().c_str());
  sample.medianUs = ms.empty() ? 0 : bench::Summarise(ms).median * 1000;
  sample.replies = ms.empty() ? lineCount : static_cast<int>(ms.size());
  return sample;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// N lines of "read-type 1", or of 15 different commands in turn: the
// types and versions of modules 1-5, the outputs of 1-3, a light on and off.
std::string CommandFile(const std::string& path, int lines, bool varied) {
  std::vector<std::string> commands{"read-type 1"};
  if (varied) {
    commands.clear();
    for (int m = 1; m <= 5; ++m) commands.push_back("read-type " + std::to_string(m));
    for (int m = 1; m <= 5; ++m) commands.push_back("read-version " + std::to_string(m));
    for (int m = 1; m <= 3; ++m) commands.push_back("read-status " + std::to_string(m));
    commands.push_back("light on 1 1");
    commands.push_back("light off 1 1");
  }
  std::ofstream file(path);
  for (int i = 0; i < lines; ++i) file << commands[static_cast<std::size_t>(i) % commands.size()] << '\n';
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
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  veltra::SimulatorOptions options;
  options.pty = false;
  veltra::SimulatorRuntime sim(options);
  const std::string host = "127.0.0.1:" + std::to_string(sim.UdpPort());
  std::printf("simulated bus switch on %s; %d requests a run, %d rounds, medians over the rounds\n", host.c_str(),
              requests, rounds);
  const std::vector<std::string> link{"--udp", host, "--local-port", "0"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = link;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::string same = CommandFile("/tmp/veltra-cli-bench-same.txt", requests, false);
  const std::string varied = CommandFile("/tmp/veltra-cli-bench-varied.txt", requests, true);

  struct Variant {
    const char* name;
    std::function<Sample()> run;
    std::vector<double> rates, user, system, medians;
  };
  std::vector<Variant> variants{
      {"raw socket ping-pong", [&] { return RawPingPong(sim.UdpPort(), requests); }, {}, {}, {}, {}},
      {"veltra-cli --json --repeat",
       [&] { return Cli(with({"--json", "--repeat", std::to_string(requests), "read-type", "1"}), requests); }, {}, {},
       {}, {}},
      {"veltra-cli --json run (1 cmd)", [&] { return Cli(with({"--json", "run", same}), requests); }, {}, {}, {}, {}},
      {"veltra-cli --json run (15 cmds)", [&] { return Cli(with({"--json", "run", varied}), requests); }, {}, {}, {},
       {}},
      {"veltra-cli -q run (1 cmd)", [&] { return Cli(with({"-q", "run", same}), requests); }, {}, {}, {}, {}},
  };
  RawPingPong(sim.UdpPort(), 1000);  // warm-up
  // Each round runs every variant, in a turning order: a busy moment of the
  // machine falls on each alike.
  for (int round = 0; round < rounds; ++round)
    for (std::size_t k = 0; k < variants.size(); ++k) {
      Variant& v = variants[(k + static_cast<std::size_t>(round)) % variants.size()];
      const Sample s = v.run();
      if (s.replies != requests) std::printf("  %s: %d replies of %d\n", v.name, s.replies, requests);
      v.rates.push_back(s.rate);
      v.user.push_back(s.userUs);
      v.system.push_back(s.systemUs);
      v.medians.push_back(s.medianUs);
    }
  const double raw = Median(variants[0].rates);
  for (const Variant& v : variants)
    std::printf("%-30s %9.0f requests/s (%.2f x raw), CPU a request %.1f us + %.1f us system, round trip median %.1f us\n",
                v.name, Median(v.rates), Median(v.rates) / raw, Median(v.user), Median(v.system), Median(v.medians));
  StopLatency(20);
  std::remove(same.c_str());
  std::remove(varied.c_str());
  return 0;
}
