// veltra-bridge --config FILE [--check] [--verbose]: the bus in Home
// Assistant and openHAB over MQTT (see veltra-bridge(1)).
#include <CLI/CLI.hpp>
#include <signal.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "bridge/bridge.h"
#include "bridge/bridge_config.h"
#include "bridge/bridge_log.h"
#include "bridge/service_notify.h"
#include "bridge/site_model.h"

namespace {

using namespace veltra;
using namespace veltra::bridge;

constexpr int kBadConfiguration = 2;

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The configuration and the plan it names; problems printed.
std::optional<std::pair<BridgeConfig, plan::Plan>> Load(const std::string& file) {
  const auto text = ReadFile(file);
  if (!text) {
    std::cerr << "veltra-bridge: cannot read " << file << "\n";
    return std::nullopt;
  }
  ConfigResult config = ParseConfig(*text, file);
  for (const ConfigError& e : config.errors) std::cerr << plan::Describe(e) << "\n";
  if (!config.config) return std::nullopt;
  const std::string& planFile = config.config->site.plan;
  const auto planText = ReadFile(planFile);
  if (!planText) {
    std::cerr << "veltra-bridge: cannot read the site plan " << planFile << "\n";
    return std::nullopt;
  }
  plan::ParseResult plan = plan::ParsePlan(*planText, planFile);
  for (const plan::Error& e : plan.errors) std::cerr << plan::Describe(e) << "\n";
  if (!plan.plan) return std::nullopt;
  return std::make_pair(std::move(*config.config), std::move(*plan.plan));
}

// What the bridge will publish, for --check.
void PrintSummary(const BridgeConfig& config, const plan::Plan& plan) {
  const SiteModel model(plan);
  const Topics topics(config.site.name, config.mqtt.discoveryPrefix);
  std::cout << "site " << config.site.name << ": topics under " << topics.Base() << "\n";
  for (const SiteModule& m : model.Modules()) {
    std::cout << "module " << m.address << " (" << m.name << "): ";
    if (!m.family)
      std::cout << "kind read from the bus at start\n";
    else
      std::cout << m.outputs << " " << ComponentName(m.OutputKind()) << " outputs"
                << (m.countFromStatus ? " (the first status read tells how many)" : "") << "\n";
  }
  for (const auto& [number, holders] : model.Scenes()) std::cout << "scene " << number << "\n";
  for (const std::string& note : model.Notes()) std::cout << note << "\n";
}

int Serve(const BridgeConfig& config, const plan::Plan& plan) {
  // Signals are taken by sigtimedwait below, never by a handler: blocked
  // before any thread starts, so that every thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ServiceNotifier service;
  Bridge bridge(config, plan, VELTRA_VERSION);
  Log(LogLevel::Notice, "veltra-bridge " VELTRA_VERSION " for site " + config.site.name + ", plan " + config.site.plan);
  bridge.Start();

  // The bus thread goes round at least every half second, or waits for one
  // request (the reply time-out); longer than that it is stuck.
  const auto stuck = std::chrono::milliseconds(config.link.timeoutMs) + std::chrono::seconds(5);
  const auto tick = std::chrono::milliseconds(200);
  auto aliveAt = std::chrono::steady_clock::now();
  bool ready = false;
  while (true) {
    const timespec wait{0, std::chrono::nanoseconds(tick).count()};
    const int signal = sigtimedwait(&signals, nullptr, &wait);
    if (signal == SIGTERM || signal == SIGINT) {
      Log(LogLevel::Notice, std::string("stopping (") + (signal == SIGTERM ? "SIGTERM" : "SIGINT") + ")");
      service.Stopping();
      break;
    }
    if (!ready && bridge.Ready()) {
      ready = true;
      Log(LogLevel::Notice, "ready: connected to the broker, the link is open");
      service.Ready();
    }
    const auto now = std::chrono::steady_clock::now();
    if (service.AliveEvery() && now >= aliveAt && bridge.Healthy(stuck)) {
      service.Alive();
      aliveAt = now + *service.AliveEvery();
    }
  }
  bridge.Stop();
  Log(LogLevel::Notice, "stopped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"veltra-bridge: the bus's lights, curtains and scenes in Home Assistant and openHAB over MQTT"};
  std::string configFile;
  bool check = false, verbose = false;
  app.add_option("--config", configFile, "the bridge's configuration (TOML)")->required();
  app.add_flag("--check", check, "check the configuration and the plan, print what would be published, and exit");
  app.add_flag("-v,--verbose", verbose, "log every frame sent and received");
  app.set_version_flag("--version", "veltra-bridge " VELTRA_VERSION);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kBadConfiguration;  // --help, --version; or a usage error
  }

  SetVerboseLog(verbose);
  const auto loaded = Load(configFile);
  if (!loaded) return kBadConfiguration;
  if (check) {
    PrintSummary(loaded->first, loaded->second);
    return 0;
  }
  try {
    return Serve(loaded->first, loaded->second);
  } catch (const std::exception& e) {
    Log(LogLevel::Error, e.what());
    return 1;
  }
}
