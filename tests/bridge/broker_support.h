#pragma once
// A mosquitto broker of the test's own on a free loopback port, started
// from a generated configuration and ended by the test; veltra-bridge run
// as a program with a configuration the test writes; and a small MQTT client
// (Paho) that watches topics and publishes like Home Assistant would.
//
// Without mosquitto the tests that need it skip on a developer's machine;
// under CI (CI set to anything but "false" or "0") they fail instead.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <mqtt/async_client.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace veltra::test {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

inline constexpr const char* kMosquitto = "/usr/sbin/mosquitto";

inline bool InCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

#define REQUIRE_MOSQUITTO()                                                                                        \
  do {                                                                                                             \
    if (::access(::veltra::test::kMosquitto, X_OK) != 0) {                                                         \
      if (::veltra::test::InCi()) FAIL() << "mosquitto is missing, and CI runs every test: scripts/setup";        \
      GTEST_SKIP() << "mosquitto is not installed (scripts/setup installs it): the bridge's MQTT side not tested"; \
    }                                                                                                              \
  } while (false)

// A scratch folder that everyone may write (the broker drops root's rights).
inline fs::path ScratchDir(const std::string& what) {
  std::string pattern = (fs::temp_directory_path() / ("veltra-" + what + "-XXXXXX")).string();
  const char* made = ::mkdtemp(pattern.data());
  EXPECT_NE(made, nullptr);
  ::chmod(pattern.c_str(), 0777);
  return pattern;
}

inline std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

inline bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// A child program with its output in files; killed and reaped at the end.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) End(SIGKILL);
  }

  // The child ends with the test program however that ends (a sanitizer's
  // report, a crash): the kernel kills it when the thread that started it
  // dies, so that no broker or bridge outlives its test.
  void Start(const std::vector<std::string>& args, const fs::path& log,
             const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<std::string> strings = args;
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnvironment);
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string logPath = log.string();
    const pid_t parent = ::getpid();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // only async-signal-safe calls from here to execve
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    pid_ = pid;
  }

  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // Sends the signal and waits for the end: the exit status, or 128 + the
  // signal that ended it.
  int End(int signal, std::chrono::milliseconds patience = 10s) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + patience;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
};

class Broker {
 public:
  // persistent: retained messages survive a restart, as on most brokers.
  explicit Broker(bool persistent = false) : dir_(ScratchDir("broker")), port_(FreeLoopbackPort()) {
    std::ofstream conf(dir_ / "mosquitto.conf");
    conf << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n";
    // As whoever runs the tests: a broker that changed its user would lose
    // the signal that ends it with its test (and it can only switch as root).
    if (const passwd* user = ::getpwuid(::geteuid())) conf << "user " << user->pw_name << "\n";
    if (persistent) conf << "persistence true\npersistence_location " << dir_.string() << "/\n";
    conf.close();
    Start();
  }
  ~Broker() {
    Stop();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  int Port() const { return port_; }
  void Start() {
    process_.Start({kMosquitto, "-c", (dir_ / "mosquitto.conf").string()}, dir_ / "mosquitto.log");
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!Accepts(port_) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(Accepts(port_)) << ReadText(dir_ / "mosquitto.log");
  }
  void Stop() { process_.End(SIGTERM); }

 private:
  fs::path dir_;
  int port_;
  Child process_;
};

// veltra-bridge with the given [link] and [poll] tables, the site "home"
// and the given plan, on the broker.
class BridgeProgram {
 public:
  BridgeProgram(int brokerPort, const std::string& linkAndPoll, const std::string& planFile)
      : dir_(ScratchDir("bridge")) {
    std::ofstream conf(dir_ / "bridge.toml");
    conf << "[mqtt]\nhost = \"127.0.0.1\"\nport = " << brokerPort << "\nclient_id = \"bridge-under-test\"\n"
         << "[site]\nname = \"home\"\nplan = \"" << planFile << "\"\n"
         << linkAndPoll;
  }
  // A sanitizer's report in the program's log fails the test: the program
  // runs in a sanitizer tree as built there, and its reports go to its log.
  ~BridgeProgram() {
    process_.End(SIGKILL);
    const std::string log = Log();
    for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer",
                               "runtime error:"})
      EXPECT_EQ(log.find(report), std::string::npos) << "veltra-bridge's log:\n" << log;
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void Start(const std::vector<std::string>& environment = {}) {
    process_.Start({VELTRA_BRIDGE_PROGRAM, "--config", (dir_ / "bridge.toml").string(), "--verbose"},
                   dir_ / "bridge.log", environment);
  }
  int End(int signal) { return process_.End(signal); }
  bool Running() const { return process_.Running(); }
  std::string Log() const { return ReadText(dir_ / "bridge.log"); }
  const fs::path& Dir() const { return dir_; }

 private:
  fs::path dir_;
  Child process_;
};

// What Home Assistant would see and send.
class Probe final : private mqtt::callback {
 public:
  struct Received {
    std::string topic;
    std::string payload;
    bool retained = false;
    std::chrono::steady_clock::time_point at;
  };

  explicit Probe(int port, const std::vector<std::string>& filters = {"#"})
      : client_("tcp://127.0.0.1:" + std::to_string(port), "probe-" + std::to_string(++Count())) {
    client_.set_callback(*this);
    auto options = mqtt::connect_options_builder().clean_session(true).finalize();
    client_.connect(options)->wait_for(10s);
    for (const std::string& f : filters) client_.subscribe(f, 1)->wait_for(10s);
  }
  ~Probe() override {
    try {
      if (client_.is_connected()) client_.disconnect()->wait_for(5s);
    } catch (const mqtt::exception&) {
    }
    client_.disable_callbacks();
  }

  void Publish(const std::string& topic, const std::string& payload, bool retain = false) {
    client_.publish(topic, payload.data(), payload.size(), 1, retain)->wait_for(10s);
  }

  // The first message from index `from` on that satisfies the condition,
  // waiting up to `limit` for it.
  std::optional<Received> WaitFor(const std::function<bool(const Received&)>& condition, std::size_t from = 0,
                                  std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(mutex_);
    std::optional<Received> found;
    cv_.wait_for(lock, limit, [&] {
      for (std::size_t i = from; i < received_.size(); ++i)
        if (condition(received_[i])) {
          found = received_[i];
          return true;
        }
      return false;
    });
    return found;
  }
  std::optional<Received> WaitFor(const std::string& topic, const std::string& payload, std::size_t from = 0,
                                  std::chrono::milliseconds limit = 10s) {
    return WaitFor([&](const Received& r) { return r.topic == topic && r.payload == payload; }, from, limit);
  }
  // Waits until the condition holds for the messages received so far
  // (looked at as each message comes; the condition must not call the probe).
  bool WaitUntil(const std::function<bool(const std::vector<Received>&)>& condition,
                 std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return condition(received_); });
  }
  std::size_t Mark() const {
    std::lock_guard lock(mutex_);
    return received_.size();
  }
  std::vector<Received> Since(std::size_t from) const {
    std::lock_guard lock(mutex_);
    return {received_.begin() + static_cast<std::ptrdiff_t>(std::min(from, received_.size())), received_.end()};
  }
  // The last payload received on the topic.
  std::optional<std::string> Last(const std::string& topic) const {
    std::lock_guard lock(mutex_);
    for (auto it = received_.rbegin(); it != received_.rend(); ++it)
      if (it->topic == topic) return it->payload;
    return std::nullopt;
  }

 private:
  static std::atomic<int>& Count() {
    static std::atomic<int> count{0};
    return count;
  }
  void message_arrived(mqtt::const_message_ptr m) override {
    {
      std::lock_guard lock(mutex_);
      received_.push_back({m->get_topic(), m->to_string(), m->is_retained(), std::chrono::steady_clock::now()});
    }
    cv_.notify_all();
  }

  mqtt::async_client client_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Received> received_;
};

}  // namespace veltra::test
