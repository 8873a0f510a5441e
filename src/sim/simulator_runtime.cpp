#include "sim/simulator_runtime.h"

namespace veltra {

SimulatorRuntime::SimulatorRuntime(SimulatorOptions options)
    : log_(std::move(options.log)), bus_(std::make_unique<SimBus>(options.population)) {
  const SimLogFn log = [this](const std::string& line) { Log(line); };
  if (options.udp) udp_ = std::make_unique<UdpBusSwitch>(*bus_, options.udpPort, options.faults, log);
  if (options.pty) pty_ = std::make_unique<PtyBus>(*bus_, options.faults, log, options.baud);
  if (options.load.rate > 0) {
    const std::vector<int> addresses = LoadAddresses(bus_->Modules());
    if (udp_) udp_->SetLoad(options.load, LoadTraffic(FrameForm::Routed, bus_->Subnet(), addresses, options.load.badEvery));
    if (pty_) pty_->SetLoad(options.load, LoadTraffic(FrameForm::Direct, 0, addresses, options.load.badEvery));
  }
  if (udp_) udp_->Start();
  if (pty_) pty_->Start();
}

SimulatorRuntime::~SimulatorRuntime() { Stop(); }

void SimulatorRuntime::Log(const std::string& line) {
  if (log_) log_(line);
  std::lock_guard lock(listenerMutex_);
  if (listener_) listener_(line);
}

void SimulatorRuntime::SetLogListener(SimLogFn listener) {
  std::lock_guard lock(listenerMutex_);
  listener_ = std::move(listener);
}

void SimulatorRuntime::PressInput(int address, int input) {
  const SimRequest request = bus_->PressInput(address, input);
  Log("input " + std::to_string(input) + " of module " + std::to_string(address) + " pressed");
  if (udp_) udp_->Emit(request);
  if (pty_) pty_->Emit(request);
}

int SimulatorRuntime::UdpPort() const { return udp_ ? udp_->Port() : 0; }

std::string SimulatorRuntime::PtySlavePath() const { return pty_ ? pty_->SlavePath() : std::string(); }

void SimulatorRuntime::Stop() {
  if (udp_) udp_->Stop();
  if (pty_) pty_->Stop();
}

}  // namespace veltra
