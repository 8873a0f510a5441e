#include "sim/simulator_runtime.h"

namespace veltra {

SimulatorRuntime::SimulatorRuntime(SimulatorOptions options)
    : bus_(std::make_unique<SimBus>(options.population)) {
  if (options.udp) udp_ = std::make_unique<UdpBusSwitch>(*bus_, options.udpPort, options.faults, options.log);
  if (options.pty) pty_ = std::make_unique<PtyBus>(*bus_, options.faults, options.log, options.baud);
  if (udp_) udp_->Start();
  if (pty_) pty_->Start();
}

SimulatorRuntime::~SimulatorRuntime() { Stop(); }

int SimulatorRuntime::UdpPort() const { return udp_ ? udp_->Port() : 0; }

std::string SimulatorRuntime::PtySlavePath() const { return pty_ ? pty_->SlavePath() : std::string(); }

void SimulatorRuntime::Stop() {
  if (udp_) udp_->Stop();
  if (pty_) pty_->Stop();
}

}  // namespace veltra
