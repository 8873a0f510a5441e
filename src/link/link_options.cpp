#include "link/link_options.h"

#include <cerrno>
#include <chrono>
#include <map>
#include <stdexcept>

#include "link/serial_link.h"
#include "link/udp_link.h"
#include "serial/port_names.h"

namespace veltra {

std::pair<std::string, int> SplitHostPort(const std::string& text) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) return {text, 2001};
  const std::string port = text.substr(colon + 1);
  std::size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(port, &used);
  } catch (const std::exception&) {
  }
  if (port.empty() || used != port.size() || value < 1 || value > kMaxPort)
    throw std::invalid_argument("not a UDP port: " + port);
  return {text.substr(0, colon), value};
}

double BitsPerCharacter(const LinkOptions& o) {
  const double stop = o.stopBits == "2" ? 2.0 : o.stopBits == "1.5" ? 1.5 : 1.0;
  return 1.0 + o.dataBits + (o.parity == "none" ? 0.0 : 1.0) + stop;
}

std::unique_ptr<Link> OpenLink(const LinkOptions& o, const std::optional<std::string>& sendTo, StopSignal* stop) {
  if (o.Udp()) {
    const auto [host, port] = SplitHostPort(o.udp);
    const std::string name = sendTo.value_or(host);
    std::string address;
    try {
      address = ResolveIpv4(name);
    } catch (const SocketError& error) {
      throw LinkError("cannot find the host " + name, error.reason(), error.code());
    }
    auto link = std::make_unique<UdpLink>();
    link->Client().ReceiveTimeout = o.timeoutMs;
    link->SetReportRefusals(true);
    // One host answers: its socket may as well be connected to it.
    link->Client().ConnectPeer = !sendTo;
    try {
      link->Open(address, port, o.localPort);
    } catch (const LinkError& error) {
      if (error.code() != EADDRINUSE) throw;
      throw LinkError("cannot use the local port " + std::to_string(o.localPort), error.reason(), error.code());
    }
    if (sendTo) link->SetBroadcast(true);
    link->WatchStop(stop);
    return link;
  }
  static const std::map<std::string, TParity> kParities{{"none", TParity::None}, {"odd", TParity::Odd},
                                                        {"even", TParity::Even}, {"mark", TParity::Mark},
                                                        {"space", TParity::Space}};
  static const std::map<std::string, TStopBits> kStopBits{
      {"1", TStopBits::_1}, {"1.5", TStopBits::_1_5}, {"2", TStopBits::_2}};
  SerialSettings settings;
  settings.device = o.serial;
  settings.baudRate = static_cast<std::uint32_t>(o.baud);
  settings.byteSize = static_cast<TByteSize>(o.dataBits - 5);
  settings.parity = kParities.at(o.parity);
  settings.stopBits = kStopBits.at(o.stopBits);
  if (o.waitForDeviceS > 0) {
    const std::string path = AbsolutePath(DevicePathFor(o.serial));
    const auto wait = std::chrono::milliseconds(static_cast<long long>(o.waitForDeviceS * 1000.0));
    if (!WaitForDevice(path, wait, stop) && stop && stop->Raised())
      throw LinkError("interrupted while waiting for the serial device " + o.serial);
    // Still missing: the open below says so.
  }
  auto link = std::make_unique<SerialLink>();
  link->Configure(settings);
  link->ReceiveTimeout = o.timeoutMs;
  link->SetFraming(o.Form());
  if (o.recover) {
    SerialRecovery recovery;
    recovery.enabled = true;
    link->SetRecovery(recovery);
  }
  try {
    link->Open();
  } catch (const LinkError& error) {
    throw LinkError(std::string(error.what()) + " " + o.serial, error.reason(), error.code());
  }
  link->WatchStop(stop);
  return link;
}

}  // namespace veltra
