#pragma once
// The network link: bus frames in UDP datagrams to and from a bus switch,
// over the UDP client's one socket. Until it is opened (and after it is
// closed) the link sends nothing: Transmit says NotOpen. Each received
// datagram comes with its sender, so that only the host a
// request went to can answer it.
#include "link/link.h"
#include "net/udp_client.h"

namespace veltra {

class UdpLink final : public Link {
 public:
  UdpLink() = default;

  // The socket component, for the window's own handling of its fields.
  TIdUDPClient& Client() { return client_; }
  const TIdUDPClient& Client() const { return client_; }

  // A fresh socket bound to localPort (0: any free port) on all addresses,
  // sending to host:remotePort. Throws LinkError.
  void Open(const std::string& host, int remotePort, int localPort);
  // Discards the socket and what is queued on it.
  void Close() { client_.SetActive(false); }
  // Permission to send to broadcast addresses on the current socket.
  void SetBroadcast(bool enabled);
  // Whether a datagram that finds nothing listening at its destination
  // fails the next Receive with LinkError "connection refused by
  // A.B.C.D:PORT" (code ECONNREFUSED), instead of leaving the request to run
  // out of time. Kept across Open.
  void SetReportRefusals(bool enabled);

  bool IsOpen() const override { return client_.Active(); }
  TransmitStatus Transmit(std::span<const std::uint8_t> frame) override;
  std::optional<ReceivedUnit> Receive(int timeoutMs) override;
  void DiscardPending() override;
  std::optional<LinkEndpoint> LastDestination() const override { return lastDestination_; }
  // Where the last frame went, or else the host and port it would go to.
  LinkEndpoint Peer() const override;
  // The bus switch answers in the routed form whatever form it was sent.
  FrameForm ReplyForm(FrameForm) const override { return FrameForm::Routed; }
  int ReadableHandle() const override { return client_.Handle(); }

 private:
  LinkEndpoint Local() const;
  TIdUDPClient client_;
  std::optional<LinkEndpoint> lastDestination_;
};

// The same failure as a LinkError with the system's reason.
[[noreturn]] void ThrowLinkError(const SocketError& error);

}  // namespace veltra
