#pragma once
// How one frame that crossed a link is put into a capture: a datagram as
// the IPv4/UDP packet that carried it (LINKTYPE_RAW), a serial frame as a
// record of its own, one direction byte and then the frame's bytes
// (LINKTYPE_USER0). Qt-free.
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "link/link.h"

namespace veltra {

enum class CaptureLinkType { Ipv4, Serial };

// The link-layer header types in the file of the two kinds of record.
inline constexpr int kLinkTypeRaw = 101;    // IPv4 packets, no link header
inline constexpr int kLinkTypeUser0 = 147;  // records of our own

// The direction byte in front of a serial frame.
inline constexpr std::uint8_t kSerialSentByte = 0;
inline constexpr std::uint8_t kSerialReceivedByte = 1;

// A frame whose far end has a port crossed the UDP link; a serial device
// has none.
inline CaptureLinkType LinkTypeOf(const LinkEndpoint& remote) {
  return remote.port != 0 ? CaptureLinkType::Ipv4 : CaptureLinkType::Serial;
}

// Host-order IPv4 address of a dotted text; 0 when the text is not one.
std::uint32_t ParseIpv4Address(const std::string& text);

// An IPv4 packet holding one UDP datagram, header checksums filled in.
Bytes Ipv4UdpPacket(std::span<const std::uint8_t> payload, std::uint32_t source, int sourcePort,
                    std::uint32_t destination, int destinationPort, std::uint16_t id);

// Direction byte, then the frame.
Bytes SerialRecord(FrameDirection direction, std::span<const std::uint8_t> frame);

// Makes the record of each frame in turn: numbers the IPv4 packets and puts
// the local address in that the system uses towards the far end (a socket
// bound to all addresses reports 0.0.0.0).
class CapturePacketMaker {
 public:
  Bytes Make(FrameDirection direction, std::span<const std::uint8_t> frame, const LinkEndpoint& local,
             const LinkEndpoint& remote);

 private:
  std::uint32_t LocalAddress(const LinkEndpoint& local, std::uint32_t remote);

  std::map<std::uint32_t, std::uint32_t> localTowards_;
  std::uint16_t nextId_ = 1;
};

// The local address the system's routing picks for datagrams to remote
// (host order); 0 when there is no route. Sends nothing.
std::uint32_t LocalAddressTowards(std::uint32_t remote);

}  // namespace veltra
