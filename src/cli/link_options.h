#pragma once
// The tool's link options and the link they open.
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

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

void AddLinkOptions(CLI::App& app, LinkOptions& options);

// HOST[:PORT] with 2001 when the port is left out; throws
// std::invalid_argument for a bad port.
std::pair<std::string, int> SplitHostPort(const std::string& text);

// Opens the link the options name; throws LinkError. sendTo, when set,
// replaces the UDP host (a broadcast read), which is then allowed to
// broadcast.
std::unique_ptr<Link> OpenLink(const LinkOptions& options, const std::optional<std::string>& sendTo = std::nullopt);

}  // namespace veltra::cli
