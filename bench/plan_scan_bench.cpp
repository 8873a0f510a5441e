// veltra-cli's bus scan and plan apply against the in-process simulated bus,
// with requests per second beside a raw socket ping-pong with the same
// simulator:
//  - "scan" of addresses 1-32, every one present (32 type and 32 version
//    requests);
//  - the same scan with nothing on the bus and --timeout 50 (32 time-outs);
//  - "plan apply" of a plan of 32 modules with 8 scenes each (256 requests).
//
//   plan_scan_bench
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/cli_app.h"
#include "plan/site_plan.h"
#include "sim/simulator_runtime.h"
#include "sim_ping_pong.h"

namespace {

using Clock = std::chrono::steady_clock;

void Print(const char* name, int requests, double seconds, const char* note = "") {
  std::printf("%-34s %5d requests in %8.3f s: %9.0f requests/s%s\n", name, requests, seconds, requests / seconds, note);
}

// Runs veltra-cli in-process; returns seconds.
double Cli(int port, std::vector<std::string> command) {
  std::vector<std::string> args{"--udp", "127.0.0.1:" + std::to_string(port), "--local-port", "0"};
  args.insert(args.end(), command.begin(), command.end());
  std::ostringstream out, err;
  const auto start = Clock::now();
  const int exit = veltra::cli::Run(args, {out, err, nullptr});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (exit != 0) std::printf("  exit status %d: %s", exit, err.str().c_str());
  return seconds;
}

std::unique_ptr<veltra::SimulatorRuntime> Simulator(std::vector<veltra::ModuleSetup> population) {
  veltra::SimulatorOptions options;
  options.pty = false;
  options.population = std::move(population);
  return std::make_unique<veltra::SimulatorRuntime>(options);
}

std::vector<veltra::ModuleSetup> Lights() {
  std::vector<veltra::ModuleSetup> lights;
  for (int a = 1; a <= 32; ++a) lights.push_back({veltra::ModuleKind::Light, a, false, 8});
  return lights;
}

std::string PlanFile() {
  veltra::plan::Plan plan;
  for (int a = 1; a <= 32; ++a) {
    veltra::plan::Module m;
    m.address = a;
    m.type = "0208";
    for (int s = 1; s <= 8; ++s) m.scenes.push_back({s, {1, 0, 2, 1, 0, 2, 1, s % 2}});
    plan.modules.push_back(m);
  }
  const std::string path = "/tmp/veltra-plan-bench-" + std::to_string(::getpid()) + ".toml";
  std::ofstream(path) << veltra::plan::WritePlan(plan);
  return path;
}

}  // namespace

int main() {
  {
    auto sim = Simulator(Lights());
    const int port = sim->UdpPort();
    std::printf("simulated bus switch on 127.0.0.1:%d, 32 light modules\n", port);
    bench::RawPingPong(port, 1000);  // warm-up
    const bench::PingPong raw = bench::RawPingPong(port, 5000);
    const bench::Percentiles p = bench::Summarise(raw.roundTripsMs);
    char note[80];
    std::snprintf(note, sizeof note, ", round trip median %.1f us", p.median * 1000);
    Print("raw socket ping-pong", raw.requests, raw.seconds, note);
    Print("scan 1-32, all present", 64, Cli(port, {"--json", "scan"}));
    const std::string plan = PlanFile();
    Print("plan apply, 32 modules x 8 scenes", 256, Cli(port, {"--json", "plan", "apply", plan}));
    std::remove(plan.c_str());
  }
  {
    auto sim = Simulator({});
    Print("scan 1-32, all silent, --timeout 50", 32,
          Cli(sim->UdpPort(), {"--timeout", "50", "--json", "scan"}), " (time-outs)");
  }
  return 0;
}
