#include "cli/link_options.h"

#include <map>
#include <stdexcept>

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
      ->check(CLI::IsMember({"none", "odd", "even", "mark", "space"}));
  app.add_option("--stop-bits", o.stopBits, "1|1.5|2")->capture_default_str()->check(CLI::IsMember({"1", "1.5", "2"}));
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

std::unique_ptr<Link> OpenLink(const LinkOptions& o, const std::optional<std::string>& sendTo) {
  if (o.Udp()) {
    const auto [host, port] = SplitHostPort(o.udp);
    auto link = std::make_unique<UdpLink>();
    link->Client().ReceiveTimeout = o.timeoutMs;
    link->Open(sendTo.value_or(host), port, o.localPort);
    if (sendTo) link->SetBroadcast(true);
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
  link->Open();
  return link;
}

}  // namespace veltra::cli
