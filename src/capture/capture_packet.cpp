#include "capture/capture_packet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace veltra {
namespace {

constexpr std::size_t kIpv4HeaderSize = 20;
constexpr std::size_t kUdpHeaderSize = 8;
constexpr std::uint8_t kIpv4Version5Words = 0x45;
constexpr std::uint8_t kTimeToLive = 64;
constexpr std::uint8_t kProtocolUdp = 17;

void Put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(value);
}

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value >> 16);
  Put16(bytes, at + 2, value & 0xFFFF);
}

// Ones' complement sum of 16-bit words, an odd last byte padded with zero.
std::uint32_t WordSum(const std::uint8_t* bytes, std::size_t size, std::uint32_t sum = 0) {
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += (bytes[i] << 8) | bytes[i + 1];
  if (size % 2) sum += bytes[size - 1] << 8;
  return sum;
}

std::uint16_t Fold(std::uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

}  // namespace

std::uint32_t ParseIpv4Address(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return 0;
  return ntohl(address.s_addr);
}

Bytes Ipv4UdpPacket(std::span<const std::uint8_t> payload, std::uint32_t source, int sourcePort,
                    std::uint32_t destination, int destinationPort, std::uint16_t id) {
  const std::size_t udpSize = kUdpHeaderSize + payload.size();
  Bytes packet(kIpv4HeaderSize + udpSize, 0);
  packet[0] = kIpv4Version5Words;
  Put16(packet, 2, static_cast<std::uint32_t>(packet.size()));
  Put16(packet, 4, id);
  packet[8] = kTimeToLive;
  packet[9] = kProtocolUdp;
  Put32(packet, 12, source);
  Put32(packet, 16, destination);
  Put16(packet, 10, Fold(WordSum(packet.data(), kIpv4HeaderSize)));

  std::uint8_t* udp = packet.data() + kIpv4HeaderSize;
  Put16(packet, kIpv4HeaderSize, static_cast<std::uint32_t>(sourcePort));
  Put16(packet, kIpv4HeaderSize + 2, static_cast<std::uint32_t>(destinationPort));
  Put16(packet, kIpv4HeaderSize + 4, static_cast<std::uint32_t>(udpSize));
  std::copy(payload.begin(), payload.end(), udp + kUdpHeaderSize);
  // The checksum covers a pseudo header of both addresses, the protocol and
  // the UDP length; a result of 0 is sent as FFFF (0 means "none").
  std::uint32_t sum = WordSum(packet.data() + 12, 8) + kProtocolUdp + static_cast<std::uint32_t>(udpSize);
  std::uint16_t checksum = Fold(WordSum(udp, udpSize, sum));
  Put16(packet, kIpv4HeaderSize + 6, checksum == 0 ? 0xFFFF : checksum);
  return packet;
}

Bytes SerialRecord(FrameDirection direction, std::span<const std::uint8_t> frame) {
  Bytes record;
  record.reserve(frame.size() + 1);
  record.push_back(direction == FrameDirection::Sent ? kSerialSentByte : kSerialReceivedByte);
  record.insert(record.end(), frame.begin(), frame.end());
  return record;
}

std::uint32_t LocalAddressTowards(std::uint32_t remote) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  // Connecting a datagram socket only picks the route; a broadcast
  // destination needs the permission to be accepted.
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  to.sin_addr.s_addr = htonl(remote);
  sockaddr_in local{};
  socklen_t size = sizeof local;
  std::uint32_t result = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0)
    result = ntohl(local.sin_addr.s_addr);
  ::close(fd);
  return result;
}

std::uint32_t CapturePacketMaker::LocalAddress(const LinkEndpoint& local, std::uint32_t remote) {
  if (const std::uint32_t address = ParseIpv4Address(local.address)) return address;
  const auto known = localTowards_.find(remote);
  if (known != localTowards_.end()) return known->second;
  return localTowards_[remote] = LocalAddressTowards(remote);
}

Bytes CapturePacketMaker::Make(FrameDirection direction, std::span<const std::uint8_t> frame,
                               const LinkEndpoint& local, const LinkEndpoint& remote) {
  if (LinkTypeOf(remote) == CaptureLinkType::Serial) return SerialRecord(direction, frame);
  const std::uint32_t far = ParseIpv4Address(remote.address);
  const std::uint32_t near = LocalAddress(local, far);
  const std::uint16_t id = nextId_++;
  if (direction == FrameDirection::Sent) return Ipv4UdpPacket(frame, near, local.port, far, remote.port, id);
  return Ipv4UdpPacket(frame, far, remote.port, near, local.port, id);
}

}  // namespace veltra
