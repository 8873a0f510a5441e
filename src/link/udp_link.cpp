#include "link/udp_link.h"

namespace veltra {

void ThrowLinkError(const SocketError& error) { throw LinkError(error.what(), error.reason(), error.code()); }

void UdpLink::Open(const std::string& host, int remotePort, int localPort) {
  try {
    client_.SetActive(false);
    client_.Host = host;
    client_.Port = remotePort;
    client_.SetBindingPort(localPort);
    client_.BindLocalPort();
    client_.SetActive(true);
  } catch (const SocketError& error) {
    client_.SetActive(false);
    ThrowLinkError(error);
  }
}

void UdpLink::SetBroadcast(bool enabled) {
  try {
    client_.SetSocketBroadcast(enabled);
  } catch (const SocketError& error) {
    ThrowLinkError(error);
  }
}

LinkEndpoint UdpLink::Local() const { return {"0.0.0.0", client_.BoundPort()}; }

TransmitStatus UdpLink::Transmit(std::span<const std::uint8_t> frame) {
  try {
    const UdpEndpoint to =
        client_.SendDatagram(std::string(reinterpret_cast<const char*>(frame.data()), frame.size()));
    if (Tapped()) Trace(FrameDirection::Sent, frame, Local(), {to.address, to.port});
  } catch (const SocketError& error) {
    ThrowLinkError(error);
  }
  return TransmitStatus::Sent;
}

std::optional<Bytes> UdpLink::Receive(int timeoutMs) {
  UdpEndpoint from;
  std::string datagram;
  try {
    datagram = client_.ReceiveDatagram(timeoutMs, &from);
  } catch (const SocketError& error) {
    ThrowLinkError(error);
  }
  if (datagram.empty()) return std::nullopt;
  Bytes bytes(datagram.begin(), datagram.end());
  if (Tapped()) Trace(FrameDirection::Received, bytes, Local(), {from.address, from.port});
  return bytes;
}

void UdpLink::DiscardPending() {
  if (!client_.Active()) return;
  while (Receive(0)) {
  }
}

}  // namespace veltra
