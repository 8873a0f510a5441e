#pragma once
// Shared pieces of the main-window tests: scripted message boxes, a window
// whose links are captured, reply frames with their checksum, and loopback
// UDP sockets.
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "console/dialogs.h"
#include "console/form1.h"
#include "../support/loopback_socket.h"

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
  // The box's text goes with the plain messages, its informative text to
  // `details`.
  void Warning(const QString& text, const QString& informative) override {
    messages << text;
    details << informative;
  }
  QString SaveFileName(const QString& caption, const QString& suggestedPath, const QString&) override {
    saveQuestions << caption + '\n' + suggestedPath;
    return saveAnswer;
  }

  void About(const QString& title, const QString& text) override { abouts << title + '\n' + text; }

  std::deque<bool> answers;
  std::function<void()> whileAsking;
  QStringList confirms, messages, errors, details, saveQuestions, abouts;
  QString saveAnswer;  // the file chosen in the save dialog; empty: cancelled
};

// A link that records what it is given and returns a scripted reply to
// every wait.
class RecordingLink : public Link {
 public:
  explicit RecordingLink(std::vector<std::vector<std::uint8_t>>& sent, std::vector<int>* waits = nullptr,
                         const std::string* reply = nullptr)
      : sent_(sent), waits_(waits), reply_(reply) {}
  bool IsOpen() const override { return true; }
  TransmitStatus Transmit(std::span<const std::uint8_t> frame) override {
    sent_.emplace_back(frame.begin(), frame.end());
    return TransmitStatus::Sent;
  }
  std::optional<veltra::Bytes> Receive(int timeoutMs) override {
    if (waits_) waits_->push_back(timeoutMs);
    if (!reply_ || reply_->empty()) return std::nullopt;
    return veltra::Bytes(reply_->begin(), reply_->end());
  }
  void DiscardPending() override {}

 private:
  std::vector<std::vector<std::uint8_t>>& sent_;
  std::vector<int>* waits_;
  const std::string* reply_;
};

// What the recording links of a CapturingForm keep.
struct CapturedTraffic {
  std::vector<std::vector<std::uint8_t>> serial, datagrams;
  std::vector<int> waits;
  std::string reply;
  RecordingLink serialLine{serial};
  RecordingLink network{datagrams, &waits, &reply};
};

// The window with the links its requests take replaced by recorders: what
// the send path hands to the serial link or to the network link is kept, and
// a scripted reply is returned for the network wait.
class CapturingForm : public CapturedTraffic, public TForm1 {
 public:
  explicit CapturingForm(TForm1Options options)
      : TForm1(Capturing(std::move(options), static_cast<CapturedTraffic&>(*this))) {}

 private:
  static TForm1Options Capturing(TForm1Options options, CapturedTraffic& traffic) {
    options.networkRequests = &traffic.network;
    options.serialRequests = &traffic.serialLine;
    return options;
  }
};

// No scene database in the folder: start-up reports "Can not find database"
// and goes on with the table closed.
inline TForm1Options TestOptions(FakeDialogs& dialogs) {
  TForm1Options options;
  options.dialogs = &dialogs;
  // Shown as it is: only the lookup's own test asks the name service.
  options.hostName = [] { return std::optional<std::string>("127.0.0.1"); };
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

}  // namespace veltra::test
