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

LinkEndpoint UdpLink::Peer() const {
  if (lastDestination_) return *lastDestination_;
  return {client_.Host, client_.Port};
}

void UdpLink::SetReportRefusals(bool enabled) {
  try {
    client_.SetReportRefusals(enabled);
  } catch (const SocketError& error) {
    ThrowLinkError(error);
  }
}

LinkEndpoint UdpLink::Local() const { return {"0.0.0.0", client_.BoundPort()}; }

TransmitStatus UdpLink::Transmit(std::span<const std::uint8_t> frame) {
  // The client would make itself a socket for the frame; a link that was not
  // opened sends nothing.
  if (!client_.Active()) return TransmitStatus::NotOpen;
  try {
    const UdpEndpoint to =
        client_.SendDatagram(std::string(reinterpret_cast<const char*>(frame.data()), frame.size()));
    lastDestination_ = LinkEndpoint{to.address, to.port};
    if (Tapped()) Trace(FrameDirection::Sent, frame, Local(), *lastDestination_);
  } catch (const SocketError& error) {
    ThrowLinkError(error);
  }
  return TransmitStatus::Sent;
}

std::optional<ReceivedUnit> UdpLink::Receive(int timeoutMs) {
  if (!client_.Active() || Stopping()) return std::nullopt;
  UdpEndpoint from;
  std::string datagram;
  try {
    datagram = client_.ReceiveDatagram(timeoutMs, &from, Stop() ? Stop()->Handle() : -1);
  } catch (const SocketError& error) {
    ThrowLinkError(error);
  }
  if (datagram.empty()) return std::nullopt;
  ReceivedUnit unit{Bytes(datagram.begin(), datagram.end()), {from.address, from.port}, std::chrono::steady_clock::now()};
  if (Tapped()) Trace(FrameDirection::Received, unit.bytes, Local(), unit.from);
  return unit;
}

void UdpLink::DiscardPending() {
  if (!client_.Active()) return;
  while (Receive(0)) {
  }
}

}  // namespace veltra
