#pragma once
// Loopback UDP pieces shared by the round-trip benchmarks: sockets on
// 127.0.0.1 only, an echo peer on its own thread, and percentiles.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace bench {

// A UDP socket bound to 127.0.0.1 on a free port (written to *port).
inline int LoopbackSocket(int* port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    std::perror("socket");
    std::exit(1);
  }
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  if (port) *port = ntohs(address.sin_port);
  return fd;
}

inline void ConnectTo(int fd, int port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
    std::perror("connect");
    std::exit(1);
  }
}

// Answers every datagram with `reply`, or with the datagram itself when
// `reply` is empty, until destroyed.
class EchoPeer {
 public:
  explicit EchoPeer(std::vector<std::uint8_t> reply = {}) : fd_(LoopbackSocket(&port_)), stop_(::eventfd(0, EFD_CLOEXEC)) {
    thread_ = std::thread([this, reply = std::move(reply)] {
      std::uint8_t bytes[2048];
      for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
        ::poll(p, 2, -1);
        if (p[1].revents) return;
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = ::recvfrom(fd_, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (n <= 0) continue;
        const std::uint8_t* out = reply.empty() ? bytes : reply.data();
        const std::size_t length = reply.empty() ? static_cast<std::size_t>(n) : reply.size();
        ::sendto(fd_, out, length, 0, reinterpret_cast<sockaddr*>(&from), size);
      }
    });
  }
  ~EchoPeer() {
    const std::uint64_t one = 1;
    if (::write(stop_, &one, sizeof one) < 0) std::perror("write");
    thread_.join();
    ::close(fd_);
    ::close(stop_);
  }
  EchoPeer(const EchoPeer&) = delete;
  EchoPeer& operator=(const EchoPeer&) = delete;
  int port() const { return port_; }

 private:
  int port_ = 0;
  int fd_;
  int stop_;
  std::thread thread_;
};

struct Percentiles {
  double median = 0, p99 = 0;
};

inline Percentiles Summarise(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values[std::min(values.size() - 1, values.size() * 99 / 100)]};
}

}  // namespace bench
