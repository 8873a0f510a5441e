#pragma once
// A UDP socket on 127.0.0.1 for tests that play the far end of a link.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace veltra::test {

// A UDP socket on 127.0.0.1 with the given port, or an ephemeral one.
class LoopbackSocket {
 public:
  explicit LoopbackSocket(int port = 0) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    port_ = ntohs(local.sin_port);
  }
  ~LoopbackSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int port() const { return port_; }
  // One datagram within the time-out, with its sender; empty when none.
  std::vector<std::uint8_t> Receive(int timeoutMs, sockaddr_in* from = nullptr) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return {};
    std::vector<std::uint8_t> buffer(2048);
    sockaddr_in sender{};
    socklen_t size = sizeof sender;
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&sender), &size);
    if (n < 0) return {};
    if (from) *from = sender;
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
  }
  void SendTo(const sockaddr_in& to, const std::vector<std::uint8_t>& bytes) {
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  void SendTo(int port, const std::vector<std::uint8_t>& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    SendTo(to, bytes);
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port that was free a moment ago (bound to 0, read back, released).
inline int FreeUdpPort() {
  LoopbackSocket probe;
  return probe.port();
}

}  // namespace veltra::test
