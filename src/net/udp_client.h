#pragma once
// Datagram client of the network link: one IPv4 UDP socket, bound to a local
// port on all addresses, sending to Host:Port and receiving one datagram at a
// time from any sender.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct sockaddr_in;

namespace veltra {

// Failures of the socket layer; what() is the text the operator sees.
// Failures of the socket layer; what() is the text the operator sees, code()
// and reason() the system's error number and description when it gave one.
class SocketError : public std::runtime_error {
 public:
  explicit SocketError(const std::string& text, int code = 0, std::string reason = {})
      : std::runtime_error(text), code_(code), reason_(std::move(reason)) {}
  int code() const noexcept { return code_; }
  const std::string& reason() const noexcept { return reason_; }

 private:
  int code_;
  std::string reason_;
};

// An IPv4 address as dotted text and a port.
struct UdpEndpoint {
  std::string address;
  int port = 0;
};

// The IPv4 address of a host as dotted text: dotted addresses as they are,
// "localhost" in any case as loopback, anything else through the name
// service. Throws SocketError with the name service's reason (code: its
// negative error number).
std::string ResolveIpv4(const std::string& host);

class TIdUDPClient {
 public:
  TIdUDPClient() = default;
  ~TIdUDPClient();
  TIdUDPClient(const TIdUDPClient&) = delete;
  TIdUDPClient& operator=(const TIdUDPClient&) = delete;

  std::string Host;           // dotted IPv4, "LOCALHOST" or a host name resolved per send
  int Port = 0;               // remote port; low 16 bits reach the network
  int ReceiveTimeout = -2;    // ms; -2 waits without limit
  int BufferSize = 8192;      // largest datagram one receive returns
  bool BroadcastEnabled = false;
  // Whether the host's "port unreachable" (nothing listens where a datagram
  // went) is reported: ReceiveDatagram then throws SocketError with code
  // ECONNREFUSED, "connection refused by A.B.C.D:PORT". Taken by sockets
  // allocated after it is set, and by the current one through
  // SetReportRefusals.
  bool ReportRefusals = false;
  void SetReportRefusals(bool enabled);
  // Whether the socket is connected to Host:Port at its first send: then
  // only that peer's datagrams are received (the kernel drops others'), and
  // a send skips the route lookup. For a link that talks to one host only.
  bool ConnectPeer = false;

  bool Active() const { return fd_ >= 0; }
  // true creates the socket when none is allocated; false closes it and drops
  // what is queued.
  void SetActive(bool active);

  // Local port of the binding; obtaining the binding allocates the socket.
  int BindingPort() const { return bindingPort_; }
  void SetBindingPort(int port);
  // Binds to all local addresses and the binding's port.
  void BindLocalPort();

  // Sends one datagram to Host:Port, allocating the socket if needed.
  // Returns where it went, the host resolved.
  UdpEndpoint SendDatagram(const std::string& bytes);
  // One datagram, or empty when none arrives in time or wakeHandle (a
  // descriptor, -1: none) becomes readable first. -1: ReceiveTimeout, -2: no
  // limit. from, when given, receives the sender.
  std::string ReceiveDatagram(int timeoutMs = -1, UdpEndpoint* from = nullptr, int wakeHandle = -1);

  // Permission to send to broadcast addresses on the current socket.
  void SetSocketBroadcast(bool enabled);
  bool SocketBroadcast() const;
  // Local port the socket is bound to (0 when not bound).
  int BoundPort() const;
  // The socket's descriptor, for waiting on it in an event loop; -1 when
  // there is none.
  int Handle() const { return fd_; }

 private:
  // An address and port as text, kept for the next datagram to or from it.
  struct AddressText {
    bool valid = false;
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    UdpEndpoint endpoint;
  };
  static const UdpEndpoint& Cached(const ::sockaddr_in& address, AddressText& cache);

  void Allocate();
  int fd_ = -1;
  int bindingPort_ = 0;
  std::vector<char> buffer_;
  AddressText lastTo_, lastFrom_;
  bool connected_ = false;
  std::uint32_t connectedAddress_ = 0;
  std::uint16_t connectedPort_ = 0;
};

}  // namespace veltra
