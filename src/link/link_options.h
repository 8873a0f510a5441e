#pragma once
// The options that name a link to the bus and open it: a bus switch over UDP
// or a serial line with its settings. veltra-cli takes them as command-line
// options, veltra-bridge as the keys of its [link] table; both share the
// names, the defaults, the accepted values and the way the link is opened.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "link/link.h"
#include "link/stop_signal.h"
#include "protocol/frame.h"

namespace veltra {

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
  // A serial device that is missing is waited for up to this long before
  // the link opens (0: not at all).
  double waitForDeviceS = 0;
  // A serial line that hangs up (its adapter pulled) waits for the device
  // and opens again by itself with the same settings (see SerialRecovery).
  bool recover = false;

  bool Udp() const { return !udp.empty(); }
  // Routed frames over UDP and on a serial line with routed set.
  FrameForm Form() const { return Udp() || routed ? FrameForm::Routed : FrameForm::Direct; }
};

// The values the options take.
inline constexpr int kMaxPort = 65535;
inline constexpr int kMaxSubnet = 65535;
inline constexpr int kMinDataBits = 5;
inline constexpr int kMaxDataBits = 8;
inline constexpr int kMaxTimeoutMs = 3600000;
inline constexpr std::array<std::string_view, 5> kParityNames{"none", "odd", "even", "mark", "space"};
inline constexpr std::array<std::string_view, 3> kStopBitsNames{"1", "1.5", "2"};

// HOST[:PORT] with 2001 when the port is left out; throws
// std::invalid_argument for a bad port.
std::pair<std::string, int> SplitHostPort(const std::string& text);

// Bits one character takes on a serial line with these settings: the start
// bit, the data bits, the parity bit when there is one, and the stop bits.
double BitsPerCharacter(const LinkOptions& options);

// Opens the link the options name; throws LinkError with the operator's
// text and the system's reason. sendTo, when set, replaces the UDP host (a
// broadcast read), which is then allowed to broadcast. The host is looked up
// once, here; a datagram that finds nothing listening is a refusal
// ("connection refused by ..."), not a silence. stop, when given, ends every
// wait of the link, and the wait for a missing serial device.
std::unique_ptr<Link> OpenLink(const LinkOptions& options, const std::optional<std::string>& sendTo = std::nullopt,
                               StopSignal* stop = nullptr);

}  // namespace veltra
