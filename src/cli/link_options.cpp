#include "cli/link_options.h"

#include <map>
#include <stdexcept>

#include <cerrno>
#include <ostream>

#include "cli/cli_app.h"
#include "link/failure_details.h"
#include "link/serial_link.h"
#include "link/udp_link.h"

namespace veltra::cli {

void AddLinkOptions(CLI::App& app, LinkOptions& o) {
  auto* udp = app.add_option("--udp", o.udp, "bus switch HOST[:PORT] (port 2001 when left out)");
  app.add_option("--local-port", o.localPort, "local UDP port (0: any free port)")->capture_default_str()->check(CLI::Range(0, 65535));
  app.add_option("--subnet", o.subnet, "subnet ID of routed requests")->capture_default_str()->check(CLI::Range(0, 65535));
  auto* serial = app.add_option("--serial", o.serial, "serial DEVICE wired to the bus");
  app.add_option("--baud", o.baud, "baud rate")->capture_default_str()->check(CLI::PositiveNumber);
  app.add_option("--data-bits", o.dataBits, "data bits")->capture_default_str()->check(CLI::Range(5, 8));
  app.add_option("--parity", o.parity, "none|odd|even|mark|space")->capture_default_str()
      ->check(CLI::IsMember(kParityWords));
  app.add_option("--stop-bits", o.stopBits, "1|1.5|2")->capture_default_str()->check(CLI::IsMember(kStopBitWords));
  app.add_flag("--routed", o.routed, "routed frames on the serial line");
  app.add_option("--timeout", o.timeoutMs, "wait for a reply, in ms")->capture_default_str()->check(CLI::Range(0, 3600000));
  udp->excludes(serial);
}

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
  if (port.empty() || used != port.size() || value < 1 || value > 65535)
    throw std::invalid_argument("not a UDP port: " + port);
  return {text.substr(0, colon), value};
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
  auto link = std::make_unique<SerialLink>();
  link->Configure(settings);
  link->ReceiveTimeout = o.timeoutMs;
  link->SetFraming(o.Form());
  try {
    link->Open();
  } catch (const LinkError& error) {
    throw LinkError(std::string(error.what()) + " " + o.serial, error.reason(), error.code());
  }
  link->WatchStop(stop);
  return link;
}

int ReportLinkError(std::ostream& err, const LinkError& error, const LinkOptions& o) {
  std::string reason = ExplainedReason(o.Udp() ? LinkKind::Network : LinkKind::Serial, error.code(), error.reason());
  // Hints that name the tool's own options.
  if (o.Udp() && error.code() == EADDRINUSE)
    reason += ": port " + std::to_string(o.localPort) + " is taken: try --local-port 0";
  else if (o.Udp() && error.code() < 0)
    reason += ": check the host name, or give the bus switch's IPv4 address";
  err << "veltra-cli: " << error.what();
  if (!reason.empty()) err << " (" << reason << ")";
  err << '\n';
  return kExitLinkError;
}

}  // namespace veltra::cli
