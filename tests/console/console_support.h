#pragma once
// Shared pieces of the main-window tests: scripted message boxes, a window
// whose links are captured and answer at once, reply frames with their
// checksum, waiting until a request is over, and loopback UDP sockets.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
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

// A link that records what it is given. After every request it carries,
// the scripted reply (`reply`; empty: none) is waiting on it, as a quick
// module's would be; frames that come by themselves (late, unasked) come
// through Arrive.
class RecordingLink : public Link {
 public:
  RecordingLink(std::vector<std::vector<std::uint8_t>>& sent, const std::string& reply, bool routedReplies)
      : sent_(sent), reply_(reply), routedReplies_(routedReplies) {}
  bool IsOpen() const override { return true; }
  TransmitStatus Transmit(std::span<const std::uint8_t> frame) override {
    sent_.emplace_back(frame.begin(), frame.end());
    if (!reply_.empty()) Queue(std::vector<std::uint8_t>(reply_.begin(), reply_.end()));
    return TransmitStatus::Sent;
  }
  std::optional<ReceivedUnit> Receive(int) override {
    if (inbox_.empty()) return std::nullopt;
    ReceivedUnit unit = std::move(inbox_.front());
    inbox_.pop_front();
    return unit;
  }
  void DiscardPending() override { inbox_.clear(); }
  // Through a bus switch replies are routed whatever the request's form.
  FrameForm ReplyForm(FrameForm requestForm) const override {
    return routedReplies_ ? FrameForm::Routed : requestForm;
  }
  // A frame arrives now; the window hears of it at once.
  void Arrive(const std::vector<std::uint8_t>& frame) {
    Queue(frame);
    Ready();
  }

 private:
  void Queue(std::vector<std::uint8_t> frame) {
    inbox_.push_back({std::move(frame), {"recorded", 0}, std::chrono::steady_clock::now()});
  }
  std::vector<std::vector<std::uint8_t>>& sent_;
  const std::string& reply_;
  bool routedReplies_;
  std::deque<ReceivedUnit> inbox_;
};

// What the recording links of a CapturingForm keep, and the replies they
// answer with.
struct CapturedTraffic {
  std::vector<std::vector<std::uint8_t>> serial, datagrams;
  std::string reply;        // after every datagram
  std::string serialReply;  // after every serial request
  RecordingLink serialLine{serial, serialReply, false};
  RecordingLink network{datagrams, reply, true};
};

// The window with the links its requests take replaced by recorders: what
// the send path hands to the serial link or to the network link is kept, and
// the scripted replies answer at once.
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

// Until no request waits any more (answered, timed out) and no scan runs;
// the event loop runs meanwhile.
inline bool WaitUntilIdle(TForm1& form, int timeoutMs = 3000) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!form.RequestsHeldBecause().isEmpty()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
// Clicks a request button and waits until what it sent is over.
inline bool ClickAndWait(TForm1& form, QAbstractButton* button, int timeoutMs = 3000) {
  if (!button->isEnabled()) return false;
  button->click();
  return WaitUntilIdle(form, timeoutMs);
}

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
