// A pseudo-terminal pair for the serial tests. The component opens the
// slave by its path; the test plays the far end on the master and keeps its
// own slave fd only to read the line settings (never tcsetattr on master).
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
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
    // A program the test starts must not hold the far end open: closing it
    // here is what pulls the adapter.
    for (int fd : {master_, slave_})
      if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
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

// A scratch folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltra-scratch-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A USB adapter that can be pulled and plugged back in: a pseudo-terminal
// behind a symlink (as in /dev/serial/by-id). Pull removes the symlink and
// closes both ends, so the device node goes too; Plug makes a new
// pseudo-terminal (whatever its number) and the symlink to it.
class PluggablePty {
 public:
  explicit PluggablePty(std::string link) : link_(std::move(link)) {}
  ~PluggablePty() { Pull(); }
  PluggablePty(const PluggablePty&) = delete;
  PluggablePty& operator=(const PluggablePty&) = delete;

  bool Plug() {
    pty_ = std::make_unique<Pty>();
    if (!pty_->ok()) return false;
    std::error_code error;
    std::filesystem::create_symlink(pty_->path(), link_, error);
    return !error;
  }
  void Pull() {
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
    pty_.reset();
  }
  bool plugged() const { return pty_ != nullptr; }
  const std::string& link() const { return link_; }
  // The device behind the link now (/dev/pts/N).
  const std::string& device() const { return pty_->path(); }
  Pty& pty() { return *pty_; }

 private:
  std::string link_;
  std::unique_ptr<Pty> pty_;
};

inline int OpenFdCount() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  }
  return count;
}

}  // namespace veltra::test
