#pragma once
// Shared pieces of the main-window tests: scripted message boxes, a window
// whose links are captured and answer at once, reply frames with their
// checksum, waiting until a request is over, and loopback UDP sockets. The
// window's controls are reached through window_driver.h, by their names.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
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
#include "console/main_window.h"
#include "window_driver.h"
#include "../support/loopback_socket.h"
#include "scenes/scene_store_schema.h"

// Readable QString values in assertion messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace veltra::test {

class FakeDialogs : public Dialogs {
 public:
  bool Confirm(const QString& text, const QString& informative = {}) override {
    confirms << text;
    confirmDetails << informative;
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
  QString OpenFileName(const QString& caption, const QString&) override {
    openQuestions << caption;
    return openAnswer;
  }
  // "Quit" with a link open: quits unless told otherwise.
  QuitAnswer ConfirmQuit(const QString& text) override {
    quitQuestions << text;
    if (quitAnswers.empty()) return {true, true};
    const QuitAnswer answer = quitAnswers.front();
    quitAnswers.pop_front();
    return answer;
  }

  std::deque<bool> answers;
  std::deque<QuitAnswer> quitAnswers;
  std::function<void()> whileAsking;
  QStringList confirms, confirmDetails, messages, errors, details, saveQuestions, abouts, quitQuestions, openQuestions;
  QString saveAnswer;  // the file chosen in the save dialog; empty: cancelled
  QString openAnswer;  // the file chosen in the open dialog; empty: cancelled
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

// What the recording links of a CapturingWindow keep, and the replies they
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
class CapturingWindow : public CapturedTraffic, public MainWindow {
 public:
  explicit CapturingWindow(MainWindowOptions options)
      : MainWindow(Capturing(std::move(options), static_cast<CapturedTraffic&>(*this))) {}

 private:
  static MainWindowOptions Capturing(MainWindowOptions options, CapturedTraffic& traffic) {
    options.networkRequests = &traffic.network;
    options.serialRequests = &traffic.serialLine;
    return options;
  }
};

// Until no request waits any more (answered, timed out) and no scan runs;
// the event loop runs meanwhile.
inline bool WaitUntilIdle(MainWindow& form, int timeoutMs = 3000) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!form.RequestsHeldBecause().isEmpty()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
// Clicks a request button and waits until what it sent is over.
inline bool ClickAndWait(MainWindow& form, QAbstractButton* button, int timeoutMs = 3000) {
  if (!button->isEnabled()) return false;
  button->click();
  return WaitUntilIdle(form, timeoutMs);
}

// No scene database in the folder: start-up reports "Can not find database"
// and goes on with the table closed.
inline MainWindowOptions TestOptions(FakeDialogs& dialogs) {
  MainWindowOptions options;
  options.dialogs = &dialogs;
  // Shown as it is: only the lookup's own test asks the name service.
  options.hostName = [] { return std::optional<std::string>("127.0.0.1"); };
  options.busSwitchBroadcastHost = "127.0.0.1";
  options.sceneFolder = QStringLiteral("/nonexistent-veltra-test-folder/");
  options.simulationLocalPort = 0;  // parallel tests never share a fixed port
  return options;
}

// The status bar's first panel while no link is open.
inline const QString kHowToBegin = QStringLiteral("Choose a link and press Create");

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
inline QString LogText(MainWindow& form) {
  form.FlushLog();
  return Memo(form)->toPlainText();
}
inline void ClearLog(MainWindow& form) {
  form.FlushLog();
  Memo(form)->clear();
}
// A fresh scene database from the schema.
inline CreateResult MakeSceneDatabase(const QString& path) {
  return CreateSceneDatabase(VELTRA_SCENE_SCHEMA, QFile::encodeName(path).toStdString());
}

inline std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace veltra::test
