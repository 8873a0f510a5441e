#pragma once
// The simulated bus run inside another program (the console's simulation
// mode, tests, benchmarks): the bus switch on 127.0.0.1 and the bus on a
// pseudo-terminal, each on a background thread, stopped and joined by the
// destructor. Qt-free.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_endpoints.h"

namespace veltra {

struct SimulatorOptions {
  bool udp = true;
  int udpPort = 0;  // 0: an ephemeral port, read back with UdpPort()
  bool pty = true;
  std::vector<ModuleSetup> population = DefaultPopulation();
  SimFaults faults;  // applied to both links, each counting its own replies
  // > 0: the pseudo-terminal runs at this serial line rate (ten bits a byte)
  // instead of at once, both ways; see PtyBus.
  int baud = 0;
  SimLoad load;      // traffic sent unasked on both links
  SimLogFn log;      // optional; called from the background threads
};

class SimulatorRuntime {
 public:
  // Starts the requested links. Throws std::system_error when a socket or
  // pseudo-terminal cannot be created (a taken port, for instance).
  explicit SimulatorRuntime(SimulatorOptions options = {});
  ~SimulatorRuntime();
  SimulatorRuntime(const SimulatorRuntime&) = delete;
  SimulatorRuntime& operator=(const SimulatorRuntime&) = delete;

  // UDP port of the bus switch on 127.0.0.1; 0 without UDP.
  int UdpPort() const;
  // Serial end of the pseudo-terminal (e.g. /dev/pts/4); empty without pty.
  std::string PtySlavePath() const;
  // A second receiver of the log lines besides options.log, called from the
  // background threads; empty removes it. Once this returns, the previous
  // listener is no longer called.
  void SetLogListener(SimLogFn listener);

  // Someone presses an input of the input module at `address`: the request
  // its binding makes it send is carried out and goes out on both links
  // (see SimBus::PressInput, SimEndpoint::Emit). Throws
  // std::invalid_argument when nothing is bound there.
  void PressInput(int address, int input);

  // The modules and the bus switch record, for inspection.
  SimBus& Bus() { return *bus_; }
  // Load frames sent so far on each link (SimulatorOptions::load).
  std::uint64_t UdpLoadSent() const { return udp_ ? udp_->LoadSent() : 0; }
  std::uint64_t PtyLoadSent() const { return pty_ ? pty_->LoadSent() : 0; }

  // Stops both links and joins their threads; the destructor calls it.
  void Stop();

 private:
  void Log(const std::string& line);

  SimLogFn log_;
  std::mutex listenerMutex_;
  SimLogFn listener_;
  std::unique_ptr<SimBus> bus_;
  std::unique_ptr<UdpBusSwitch> udp_;
  std::unique_ptr<PtyBus> pty_;
};

}  // namespace veltra
