#include "net/udp_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace veltra {
namespace {

[[noreturn]] void ThrowSocketError(int error) {
  throw SocketError("Socket Error # " + std::to_string(error) + "\r\n" + std::strerror(error), error,
                    std::strerror(error));
}

// "LOCALHOST" in any case is loopback; dotted addresses are taken as they
// are; anything else goes through the name service.
in_addr ResolveHost(const std::string& host) {
  in_addr address{};
  if (strcasecmp(host.c_str(), "LOCALHOST") == 0) {
    address.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int rc = host.empty() ? EAI_NONAME : getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) {
    // The name service has its own error numbers; report them like socket errors.
    const std::string reason = host.empty() ? std::string("Host name is empty") : gai_strerror(rc);
    throw SocketError("Socket Error # " + std::to_string(rc) + "\r\n" + reason, rc, reason);
  }
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

UdpEndpoint Endpoint(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return {text, ntohs(address.sin_port)};
}

// The host's report of a datagram that could not be delivered, taken off
// the socket's error queue, as the failure it is.
[[noreturn]] void ThrowQueuedError(int fd) {
  sockaddr_in destination{};
  char control[512];
  char data[1];
  iovec part{data, sizeof data};
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (::recvmsg(fd, &message, MSG_ERRQUEUE) < 0) ThrowSocketError(errno);
  int error = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
      error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c))->ee_errno;
  if (error == 0) error = EIO;
  const UdpEndpoint to = Endpoint(destination);
  const std::string where = to.address + ":" + std::to_string(to.port);
  if (error == ECONNREFUSED) throw SocketError("connection refused by " + where, error, std::strerror(error));
  throw SocketError(std::string(std::strerror(error)) + " (sending to " + where + ")", error, std::strerror(error));
}

}  // namespace

std::string ResolveIpv4(const std::string& host) {
  const in_addr address = ResolveHost(host);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

TIdUDPClient::~TIdUDPClient() { SetActive(false); }

const UdpEndpoint& TIdUDPClient::Cached(const sockaddr_in& address, AddressText& cache) {
  // The same peer, request after request: its text is made once.
  if (!cache.valid || cache.address != address.sin_addr.s_addr || cache.port != address.sin_port) {
    cache.endpoint = Endpoint(address);
    cache.address = address.sin_addr.s_addr;
    cache.port = address.sin_port;
    cache.valid = true;
  }
  return cache.endpoint;
}

void TIdUDPClient::SetReportRefusals(bool enabled) {
  ReportRefusals = enabled;
  if (fd_ < 0) return;
  const int on = enabled ? 1 : 0;
  if (::setsockopt(fd_, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0) ThrowSocketError(errno);
}

void TIdUDPClient::Allocate() {
  if (fd_ >= 0) return;
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) ThrowSocketError(errno);
  bindingPort_ = 0;
  SetSocketBroadcast(BroadcastEnabled);
  if (ReportRefusals) SetReportRefusals(true);
}

void TIdUDPClient::SetActive(bool active) {
  if (active) {
    Allocate();
    return;
  }
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
  bindingPort_ = 0;
  connected_ = false;
}

void TIdUDPClient::SetBindingPort(int port) {
  Allocate();
  bindingPort_ = port;
}

void TIdUDPClient::BindLocalPort() {
  Allocate();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<std::uint16_t>(bindingPort_ & 0xFFFF));
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    if (errno == EADDRINUSE)
      throw SocketError("Could not bind socket. Address and port are already in use.", errno, std::strerror(errno));
    ThrowSocketError(errno);
  }
}

void TIdUDPClient::SetSocketBroadcast(bool enabled) {
  if (fd_ < 0) return;
  const int on = enabled ? 1 : 0;
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) ThrowSocketError(errno);
}

bool TIdUDPClient::SocketBroadcast() const {
  if (fd_ < 0) return false;
  int on = 0;
  socklen_t size = sizeof on;
  return ::getsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, &size) == 0 && on != 0;
}

int TIdUDPClient::BoundPort() const {
  if (fd_ < 0) return 0;
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

UdpEndpoint TIdUDPClient::SendDatagram(const std::string& bytes) {
  const in_addr address = ResolveHost(Host);
  Allocate();
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr = address;
  remote.sin_port = htons(static_cast<std::uint16_t>(Port & 0xFFFF));
  ssize_t sent;
  if (ConnectPeer) {
    if (!connected_ || connectedAddress_ != remote.sin_addr.s_addr || connectedPort_ != remote.sin_port) {
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) ThrowSocketError(errno);
      connected_ = true;
      connectedAddress_ = remote.sin_addr.s_addr;
      connectedPort_ = remote.sin_port;
    }
    sent = ::send(fd_, bytes.data(), bytes.size(), 0);
  } else {
    sent = ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
  }
  if (sent < 0) {
    if (errno == EMSGSIZE) throw SocketError("Package Size Too Big.", errno, std::strerror(errno));
    ThrowSocketError(errno);
  }
  if (static_cast<std::size_t>(sent) != bytes.size()) throw SocketError("Not all bytes sent.");
  return Cached(remote, lastTo_);
}

std::string TIdUDPClient::ReceiveDatagram(int timeoutMs, UdpEndpoint* from, int wakeHandle) {
  if (timeoutMs == -1) timeoutMs = ReceiveTimeout;
  Allocate();
  pollfd waits[2] = {{fd_, POLLIN, 0}, {wakeHandle, POLLIN, 0}};
  pollfd& waiting = waits[0];
  // poll() takes -1 for "no limit"; any other negative value waits without limit too.
  const int limit = timeoutMs < 0 ? -1 : timeoutMs;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit < 0 ? 0 : limit);
  int ready;
  for (;;) {
    int remaining = limit;
    if (limit >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      remaining = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    ready = ::poll(waits, wakeHandle >= 0 ? 2 : 1, remaining);
    if (ready < 0 && errno == EINTR) continue;
    break;
  }
  if (ready > 0 && (waiting.revents & POLLERR) && ReportRefusals) ThrowQueuedError(fd_);
  if (ready <= 0 || !(waiting.revents & POLLIN)) return {};
  // One buffer for every receive: a datagram is copied out at its own size.
  buffer_.resize(static_cast<std::size_t>(BufferSize > 0 ? BufferSize : 1));
  sockaddr_in sender{};
  socklen_t senderSize = sizeof sender;
  const ssize_t received =
      ::recvfrom(fd_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
  if (received < 0) ThrowSocketError(errno);
  if (from) *from = Cached(sender, lastFrom_);
  return std::string(buffer_.data(), static_cast<std::size_t>(received));
}

}  // namespace veltra
