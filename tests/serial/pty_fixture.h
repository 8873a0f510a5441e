// A pseudo-terminal pair for the serial tests. The component opens the
// slave by its path; the test plays the far end on the master and keeps its
// own slave fd only to read the line settings (never tcsetattr on master).
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace veltra::test {

class Pty {
 public:
  Pty() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  int slave() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // Sends bytes from the far end into the component's input.
  bool Send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // Reads what the component wrote, until count bytes or the time-out.
  std::vector<std::uint8_t> Receive(std::size_t count,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(3)) const {
    std::vector<std::uint8_t> bytes;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      std::uint8_t buffer[4096];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Bytes 1..n without the flow-control characters 0x11 and 0x13, which the
// line discipline takes out of the stream while XON/XOFF is on.
inline std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed = 0) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t v = seed;
  while (bytes.size() < n) {
    v = static_cast<std::uint8_t>(v * 5 + 7);
    if (v == 0x11 || v == 0x13 || v == 0) continue;
    bytes.push_back(v);
  }
  return bytes;
}

inline int OpenFdCount() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  }
  return count;
}

}  // namespace veltra::test
