#include "net/udp_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
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

}  // namespace

TIdUDPClient::~TIdUDPClient() { SetActive(false); }

void TIdUDPClient::Allocate() {
  if (fd_ >= 0) return;
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) ThrowSocketError(errno);
  bindingPort_ = 0;
  SetSocketBroadcast(BroadcastEnabled);
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
  const ssize_t sent = ::sendto(fd_, bytes.data(), bytes.size(), 0,
                                reinterpret_cast<sockaddr*>(&remote), sizeof remote);
  if (sent < 0) {
    if (errno == EMSGSIZE) throw SocketError("Package Size Too Big.", errno, std::strerror(errno));
    ThrowSocketError(errno);
  }
  if (static_cast<std::size_t>(sent) != bytes.size()) throw SocketError("Not all bytes sent.");
  return Endpoint(remote);
}

std::string TIdUDPClient::ReceiveDatagram(int timeoutMs, UdpEndpoint* from) {
  if (timeoutMs == -1) timeoutMs = ReceiveTimeout;
  Allocate();
  pollfd waiting{fd_, POLLIN, 0};
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
    ready = ::poll(&waiting, 1, remaining);
    if (ready < 0 && errno == EINTR) continue;
    break;
  }
  if (ready <= 0 || !(waiting.revents & POLLIN)) return {};
  std::vector<char> buffer(static_cast<std::size_t>(BufferSize > 0 ? BufferSize : 1));
  sockaddr_in sender{};
  socklen_t senderSize = sizeof sender;
  const ssize_t received =
      ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender), &senderSize);
  if (received < 0) ThrowSocketError(errno);
  if (from) *from = Endpoint(sender);
  return std::string(buffer.data(), static_cast<std::size_t>(received));
}

}  // namespace veltra
