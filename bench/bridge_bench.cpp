// Commands through veltra-bridge: a client publishes ON and OFF in turn on a
// light's command topic and waits each time for the state topic to follow,
// as Home Assistant would, through a mosquitto broker of the bench's own on
// loopback to the bridge program and from it to the in-process simulated bus.
// Prints commands per second, the round trip from publish to state, and the
// bridge's resident memory from the first 1,000 commands to the end, which
// must stay flat (within 10 %).
//
//   bridge_bench [--commands N] [--link udp|serial|both] [--serial-commands N]
//
// Each command is two exchanges on the bus (the command, then the module's
// status read). The serial run goes over the simulator's pseudo-terminal
// paced at 9600 baud, as slow as a real line. Needs /usr/sbin/mosquitto.
// Exit status 1 when a check fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mqtt/async_client.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_udp.h"
#include "sim/simulator_runtime.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kMosquitto = "/usr/sbin/mosquitto";
constexpr long kBaseline = 1000;

// A child that the kernel ends with the bench, however the bench ends.
pid_t Spawn(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<std::string> strings = args;
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const std::string logPath = log.string();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {  // only async-signal-safe calls from here to execve
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::execve(argv[0], argv.data(), environ);
    ::_exit(127);
  }
  return pid;
}

void End(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  ::close(fd);
  return ntohs(a.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string key; status >> key;) {
    long kib = 0;
    if (key == "VmRSS:" && status >> kib) return kib;
  }
  return -1;
}

// Publishes commands and waits for the state that follows each.
class Client final : private mqtt::callback {
 public:
  explicit Client(int port) : client_("tcp://127.0.0.1:" + std::to_string(port), "bridge-bench") {
    client_.set_callback(*this);
    client_.connect(mqtt::connect_options_builder().clean_session(true).finalize())->wait();
  }
  ~Client() override {
    client_.disconnect()->wait_for(5s);
    client_.disable_callbacks();
  }
  void Watch(const std::string& topic) { client_.subscribe(topic, 0)->wait(); }
  // Publishes the payload on `command` and waits for `expected` on the
  // watched topic; false when it does not come within the limit.
  bool Command(const std::string& command, const std::string& payload, const std::string& expected,
               Clock::duration limit = 10s) {
    std::unique_lock lock(mutex_);
    last_.clear();
    lock.unlock();
    client_.publish(command, payload.data(), payload.size(), 0, false);
    lock.lock();
    return cv_.wait_for(lock, limit, [&] { return last_ == expected; });
  }
  bool WaitFor(const std::string& expected, Clock::duration limit) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return last_ == expected; });
  }

 private:
  void message_arrived(mqtt::const_message_ptr m) override {
    {
      std::lock_guard lock(mutex_);
      last_ = m->to_string();
    }
    cv_.notify_all();
  }
  mqtt::async_client client_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::string last_;
};

// One run: the bridge on the given [link] table for the site `site`,
// `commands` commands.
bool RunLink(const char* name, const std::string& site, const std::string& link, long commands, int brokerPort,
             const fs::path& dir) {
  const fs::path config = dir / (site + ".toml");
  std::ofstream(config) << "[mqtt]\nport = " << brokerPort << "\nclient_id = \"bench-" << site << "\"\n" << link
                        << "[site]\nname = \"" << site << "\"\nplan = \"" << VELTRA_EXAMPLE_PLAN << "\"\n";
  Client client(brokerPort);
  const std::string base = "veltra/" + site + "/module/1/light/1/";
  client.Watch(base + "state");
  const pid_t bridge = Spawn({VELTRA_BRIDGE_PROGRAM, "--config", config.string()}, dir / (site + ".log"));
  bool ok = client.WaitFor("OFF", 20s);  // the bridge has read the module, and so subscribed long before
  if (!ok) std::printf("%s: the bridge did not publish the light's state\n", name);

  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(commands));
  long baselineKiB = 0, peakKiB = 0;
  const auto start = Clock::now();
  for (long i = 0; ok && i < commands; ++i) {
    const bool on = i % 2 == 0;
    const auto sent = Clock::now();
    if (!client.Command(base + "set", on ? "ON" : "OFF", on ? "ON" : "OFF")) {
      std::printf("%s: no state after command %ld\n", name, i);
      ok = false;
      break;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    if (i + 1 == std::min(kBaseline, commands)) baselineKiB = ResidentKiB(bridge);
    if ((i + 1) % 20000 == 0) {
      const long kib = ResidentKiB(bridge);
      peakKiB = std::max(peakKiB, kib);
      std::printf("  %s: %ld commands, bridge resident %ld KiB\n", name, i + 1, kib);
      std::fflush(stdout);
    }
  }
  const long endKiB = ResidentKiB(bridge);
  peakKiB = std::max(peakKiB, endKiB);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  End(bridge);
  if (!ok) {
    std::ifstream log(dir / (site + ".log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    for (std::size_t i = lines.size() > 20 ? lines.size() - 20 : 0; i < lines.size(); ++i)
      std::printf("  | %s\n", lines[i].c_str());
    return false;
  }
  const bench::Percentiles latency = bench::Summarise(latencies);
  std::printf("%s: %ld commands in %.1f s: %.0f commands/s; publish to state p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
              name, commands, seconds, commands / seconds, latency.median, latency.p99,
              latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()));
  const bool flat = endKiB <= baselineKiB * 1.1 && peakKiB <= baselineKiB * 1.1;
  std::printf("%s: bridge resident after %ld commands %ld KiB, at the end %ld KiB, highest %ld KiB: %s\n", name,
              std::min(kBaseline, commands), baselineKiB, endKiB, peakKiB, flat ? "flat" : "GROWING");
  return flat || commands < 10 * kBaseline;
}

}  // namespace

int main(int argc, char** argv) {
  long commands = 100000, serialCommands = 500;
  bool udp = true, serial = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--commands" && i + 1 < argc) commands = std::atol(argv[++i]);
    else if (arg == "--serial-commands" && i + 1 < argc) serialCommands = std::atol(argv[++i]);
    else if (arg == "--link" && i + 1 < argc) {
      const std::string which = argv[++i];
      udp = which != "serial";
      serial = which != "udp";
    } else {
      std::fprintf(stderr, "usage: bridge_bench [--commands N] [--serial-commands N] [--link udp|serial|both]\n");
      return 2;
    }
  }
  if (::access(kMosquitto, X_OK) != 0) {
    std::fprintf(stderr, "bridge_bench: %s is missing (scripts/setup installs it)\n", kMosquitto);
    return 1;
  }
  std::string pattern = (fs::temp_directory_path() / "veltra-bridge-bench-XXXXXX").string();
  const fs::path dir = ::mkdtemp(pattern.data());
  ::chmod(dir.c_str(), 0777);
  const int port = FreePort();
  std::ofstream conf(dir / "mosquitto.conf");
  conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\n";
  if (const passwd* user = ::getpwuid(::geteuid())) conf << "user " << user->pw_name << "\n";  // keeps the death signal
  conf.close();
  const pid_t broker = Spawn({kMosquitto, "-c", (dir / "mosquitto.conf").string()}, dir / "mosquitto.log");
  for (int i = 0; i < 500 && !Accepts(port); ++i) std::this_thread::sleep_for(10ms);

  bool ok = true;
  if (udp) {
    veltra::SimulatorOptions options;
    options.pty = false;
    veltra::SimulatorRuntime sim(options);
    ok &= RunLink("udp", "udp", "[link]\nudp = \"127.0.0.1:" + std::to_string(sim.UdpPort()) + "\"\nlocal_port = 0\n",
                  commands, port, dir);
  }
  if (serial) {
    veltra::SimulatorOptions options;
    options.udp = false;
    options.baud = 9600;
    veltra::SimulatorRuntime sim(options);
    ok &= RunLink("serial 9600", "serial", "[link]\nserial = \"" + sim.PtySlavePath() + "\"\n", serialCommands, port, dir);
  }
  End(broker);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return ok ? 0 : 1;
}
