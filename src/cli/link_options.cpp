#include "cli/link_options.h"

#include <cerrno>

#include "cli/cli_app.h"
#include "link/failure_details.h"

namespace veltra::cli {

void AddLinkOptions(CLI::App& app, LinkOptions& o) {
  auto* udp = app.add_option("--udp", o.udp, "bus switch HOST[:PORT] (port 2001 when left out)");
  app.add_option("--local-port", o.localPort, "local UDP port (0: any free port)")->capture_default_str()->check(CLI::Range(0, kMaxPort));
  app.add_option("--subnet", o.subnet, "subnet ID of routed requests")->capture_default_str()->check(CLI::Range(0, kMaxSubnet));
  auto* serial = app.add_option("--serial", o.serial, "serial DEVICE wired to the bus");
  app.add_option("--baud", o.baud, "baud rate")->capture_default_str()->check(CLI::PositiveNumber);
  app.add_option("--data-bits", o.dataBits, "data bits")->capture_default_str()->check(CLI::Range(kMinDataBits, kMaxDataBits));
  app.add_option("--parity", o.parity, "none|odd|even|mark|space")->capture_default_str()
      ->check(CLI::IsMember(kParityWords));
  app.add_option("--stop-bits", o.stopBits, "1|1.5|2")->capture_default_str()->check(CLI::IsMember(kStopBitWords));
  app.add_flag("--routed", o.routed, "routed frames on the serial line");
  auto* wait = app.add_option("--wait-for-device", o.waitForDeviceS,
                              "wait up to SECONDS for a serial DEVICE that is missing (an adapter being plugged in)")
                   ->check(CLI::Range(0.0, 86400.0));
  wait->type_name("SECONDS");
  udp->excludes(wait);
  app.add_option("--timeout", o.timeoutMs, "wait for a reply, in ms")->capture_default_str()->check(CLI::Range(0, kMaxTimeoutMs));
  udp->excludes(serial);
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
