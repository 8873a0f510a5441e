#pragma once
// The tool's link options and the link they open.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/link.h"
#include "protocol/frame.h"

namespace veltra::cli {

struct LinkOptions {
  std::string udp;  // HOST[:PORT]
  int localPort = 2002;
  int subnet = 1;
  std::string serial;  // device
  int baud = 9600;
  int dataBits = 8;
  std::string parity = "none";
  std::string stopBits = "1";
  bool routed = false;
  int timeoutMs = 500;

  bool Udp() const { return !udp.empty(); }
  // Routed frames over UDP and on a serial line with --routed.
  FrameForm Form() const { return Udp() || routed ? FrameForm::Routed : FrameForm::Direct; }
};

// The words --parity and --stop-bits take.
inline const std::vector<std::string> kParityWords{"none", "odd", "even", "mark", "space"};
inline const std::vector<std::string> kStopBitWords{"1", "1.5", "2"};

void AddLinkOptions(CLI::App& app, LinkOptions& options);

// HOST[:PORT] with 2001 when the port is left out; throws
// std::invalid_argument for a bad port.
std::pair<std::string, int> SplitHostPort(const std::string& text);

// Opens the link the options name; throws LinkError with the operator's
// text and a reason that says what helps. sendTo, when set, replaces the UDP
// host (a broadcast read), which is then allowed to broadcast. The host is
// looked up once, here; a datagram that finds nothing listening is a
// refusal ("connection refused by ..."), not a silence. stop, when given,
// ends every wait of the link.
std::unique_ptr<Link> OpenLink(const LinkOptions& options, const std::optional<std::string>& sendTo = std::nullopt,
                               StopSignal* stop = nullptr);

// Writes "veltra-cli: TEXT (REASON)" for a link's failure, the reason
// explained with a hint where one helps, and returns kExitLinkError.
int ReportLinkError(std::ostream& err, const LinkError& error, const LinkOptions& options);

}  // namespace veltra::cli
