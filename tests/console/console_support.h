#pragma once
// Shared pieces of the main-window tests: scripted message boxes, a window
// whose links are captured, reply frames with their checksum, and loopback
// UDP sockets.
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "console/dialogs.h"
#include "console/form1.h"

// Readable QString values in assertion messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace veltra::test {

class FakeDialogs : public Dialogs {
 public:
  bool Confirm(const QString& text) override {
    confirms << text;
    // What the event loop of a real question box may run meanwhile.
    if (whileAsking) whileAsking();
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Message(const QString& text) override { messages << text; }
  void ShowError(const QString& text) override { errors << text; }

  std::deque<bool> answers;
  std::function<void()> whileAsking;
  QStringList confirms, messages, errors;
};

// The window with both links replaced by recorders: what the send path hands
// to the serial link or to the network link is kept, and a scripted reply is
// returned for the network wait.
class CapturingForm : public TForm1 {
 public:
  using TForm1::TForm1;
  bool WriteData(const std::uint8_t* bytes, std::uint16_t length) override {
    serial.emplace_back(bytes, bytes + length);
    return true;
  }
  void SendDatagram(const std::string& bytes) override { datagrams.emplace_back(bytes.begin(), bytes.end()); }
  std::string ReceiveDatagram(int timeoutMs) override {
    waits.push_back(timeoutMs);
    return reply;
  }

  std::vector<std::vector<std::uint8_t>> serial, datagrams;
  std::vector<int> waits;
  std::string reply;
};

// No scene database in the folder: start-up reports "Can not find database"
// and goes on with the table closed.
inline TForm1Options TestOptions(FakeDialogs& dialogs) {
  TForm1Options options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  options.busSwitchBroadcastHost = "127.0.0.1";
  options.sceneFolder = QStringLiteral("/nonexistent-veltra-test-folder/");
  options.simulationLocalPort = 0;  // parallel tests never share a fixed port
  return options;
}

// Appends the checksum: the sum of every byte so far, XORed with 0x55AA.
inline std::vector<std::uint8_t> WithChecksum(std::vector<std::uint8_t> frame) {
  unsigned sum = 0;
  for (std::uint8_t b : frame) sum += b;
  const unsigned check = (sum ^ 0x55AA) & 0xFFFF;
  frame.push_back(static_cast<std::uint8_t>(check >> 8));
  frame.push_back(static_cast<std::uint8_t>(check & 0xFF));
  return frame;
}

// The monitor log as the operator sees it once the window is back in its
// event loop.
inline QString LogText(TForm1& form) {
  form.FlushLog();
  return form.Memo1->toPlainText();
}
inline void ClearLog(TForm1& form) {
  form.FlushLog();
  form.Memo1->clear();
}

inline std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }


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
