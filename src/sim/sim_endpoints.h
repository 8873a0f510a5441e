#pragma once
// The two doors of the simulated bus, each served by its own thread: the bus
// switch on a UDP socket bound to 127.0.0.1, and the bus on a pseudo-terminal
// whose slave end the console opens as its serial port. Both stop through an
// eventfd in their poll set and join their thread.
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "sim/load_traffic.h"
#include "sim/reply_shaper.h"
#include "sim/serial_frames.h"
#include "sim/sim_bus.h"

namespace veltra {

// Receives one readable line per request, reply and event; called from the
// serving threads, so it must be thread-safe.
using SimLogFn = std::function<void(const std::string&)>;

// Traffic sent without being asked, to load the console: frames of a busy
// bus (LoadTraffic) at a steady rate, neither answered nor logged.
struct SimLoad {
  int rate = 0;      // frames a second on each link; 0: none
  int udpPort = 0;   // UDP: to 127.0.0.1 at this port; 0: to the last host that sent a request
  int badEvery = 0;  // every n-th frame with a broken checksum
};

class SimEndpoint {
 public:
  SimEndpoint(const SimEndpoint&) = delete;
  SimEndpoint& operator=(const SimEndpoint&) = delete;
  virtual ~SimEndpoint();

  void Start();
  // Wakes the thread and joins it; replies still waiting are not sent.
  // Idempotent.
  void Stop();
  // Sends a frame that a module on the bus sent by itself (an input
  // module's request), in this link's form: over UDP to the host that sent
  // the last request, on the serial line as it is. Thread-safe.
  void Emit(const SimRequest& request);

  // Before Start: sends the traffic at load.rate frames a second.
  void SetLoad(const SimLoad& load, LoadTraffic traffic);
  // Load frames handed to the link so far, and those it did not take (a
  // full pseudo-terminal, no UDP host to send to yet).
  std::uint64_t LoadSent() const { return loadSent_; }
  std::uint64_t LoadDropped() const { return loadDropped_; }

 protected:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    SimFrame bytes;
    sockaddr_in peer{};
    bool load = false;  // a load frame: a failure to send is counted, not logged
  };

  SimEndpoint(SimBus& bus, SimFaults faults, SimLogFn log, std::string name, SimLink link);

  virtual int Fd() const = 0;
  virtual void OnReadable() = 0;
  // False when the frame could not be sent.
  virtual bool Transmit(const Pending& reply) = 0;
  // Where load frames go; empty: nowhere yet.
  virtual std::optional<sockaddr_in> LoadPeer() const { return sockaddr_in{}; }
  const SimLoad& Load() const { return load_; }
  // When the endpoint next wants OnTimer; empty: it does not.
  virtual std::optional<Clock::time_point> TimerDue() const { return std::nullopt; }
  virtual void OnTimer(Clock::time_point) {}
  // Where a frame of the bus goes on this link (UDP: the last requester).
  virtual sockaddr_in EmitPeer() const { return {}; }

  // Hands one complete frame to the bus, logs it, and sends or queues what
  // comes back through the fault knobs. Replies leave no earlier than
  // `notBefore` (the moment the request has fully arrived).
  void Answer(const std::uint8_t* data, std::size_t size, const sockaddr_in& peer, const std::string& from,
              Clock::time_point notBefore = {});
  void Log(const std::string& line) const;

 private:
  void Run();
  void SendDue(Clock::time_point now);
  void SendLoad(Clock::time_point now);

  SimBus& bus_;
  ReplyShaper shaper_;
  SimLogFn log_;
  std::string name_;
  SimLink link_;
  int wake_ = -1;
  std::atomic<bool> stopping_{false};
  std::mutex emitMutex_;
  std::vector<std::pair<SimFrame, std::string>> emitted_;  // frames of the bus to send, from other threads
  std::thread thread_;
  std::deque<Pending> pending_;  // due times rise: one fixed delay after rising arrivals
  SimLoad load_;
  std::optional<LoadTraffic> traffic_;
  Clock::time_point loadNext_{};
  std::atomic<std::uint64_t> loadSent_{0};
  std::atomic<std::uint64_t> loadDropped_{0};
};

class UdpBusSwitch : public SimEndpoint {
 public:
  // Binds 127.0.0.1:port (0: an ephemeral port) and records the port in the
  // bus switch's configuration. Throws std::system_error.
  UdpBusSwitch(SimBus& bus, int port, SimFaults faults = {}, SimLogFn log = {});
  ~UdpBusSwitch() override;
  int Port() const { return port_; }

 private:
  int Fd() const override { return fd_; }
  void OnReadable() override;
  bool Transmit(const Pending& reply) override;
  sockaddr_in EmitPeer() const override { return lastPeer_; }
  std::optional<sockaddr_in> LoadPeer() const override;
  int fd_ = -1;
  int port_ = 0;
  sockaddr_in lastPeer_{};  // the last host that sent a request; port 0: none yet
};

class PtyBus : public SimEndpoint {
 public:
  // Opens a pseudo-terminal in raw mode. The simulator keeps the slave open
  // too, so the line survives the console closing and reopening it.
  // baud > 0 makes the line as slow as a serial line at that rate (a pty
  // itself moves bytes at once): a request counts as received once its bytes
  // would have crossed the line, and replies go out one byte per ten bit
  // times. Throws std::system_error.
  explicit PtyBus(SimBus& bus, SimFaults faults = {}, SimLogFn log = {}, int baud = 0);
  ~PtyBus() override;
  // Path of the serial end the console opens, e.g. /dev/pts/3.
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int Fd() const override { return master_; }
  void OnReadable() override;
  bool Transmit(const Pending& reply) override;
  std::optional<Clock::time_point> TimerDue() const override;
  void OnTimer(Clock::time_point now) override;
  void AnswerFrames(const std::vector<SimFrame>& frames, Clock::time_point arrived);
  // Writes the paced output bytes whose time has come.
  void WriteDueBytes(Clock::time_point now);
  bool Write(const std::uint8_t* bytes, std::size_t size, bool quiet = false);

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  SerialFrameSplitter splitter_;
  Clock::time_point lastRead_{};
  // Pacing; all unused while characterTime_ is zero.
  Clock::duration characterTime_{};
  Clock::time_point inputDone_{};    // the line has carried every byte read so far
  Clock::time_point outputDone_{};   // ... every byte written so far
  std::deque<std::uint8_t> output_;  // reply bytes not yet on the line
};

}  // namespace veltra
