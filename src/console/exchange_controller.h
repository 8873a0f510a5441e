#pragma once
// The window's requests and the replies that answer them, widget-free: one
// event-loop exchange per link the window sends on or listens to, one
// request at a time over all of them (the window's buttons and the bus scan
// alike), and each result handed to the handler of the request it answers.
// Frames that answer nothing go to onUnmatched and nowhere else.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "link/event_loop_exchange.h"

namespace veltra {

class ExchangeController : public QObject {
 public:
  using Done = EventLoopExchange::Done;
  // Who asked: the window's own requests wait while a scan runs, the scan's
  // do not.
  enum class Origin { Window, Scan };

  explicit ExchangeController(RequestLog& log, QObject* parent = nullptr);
  ~ExchangeController() override;

  // A link requests may take or whose frames are heard from now on. Not
  // owned: it must outlive the controller. Each link once.
  void AddLink(Link& link);
  // The exchange of a link added before (its listening form, mostly).
  Exchange& ExchangeOn(Link& link);
  // The link was opened, closed or re-pointed: see EventLoopExchange.
  void LinkChanged(Link& link);

  // Sends the request on the link and waits up to timeoutMs for its answer;
  // `done` gets the result from the event loop, or at once when the request
  // ended at once. Refused (false, nothing sent, `done` not called) while
  // another request waits, or while a scan runs for a request of the window.
  // Throws LinkError when the link fails on sending.
  bool Start(Link& link, PreparedRequest request, int timeoutMs, Done done, Origin origin = Origin::Window);
  // The waiting request of this origin ends at once, its handler not called;
  // its reply, if it still comes, is a late one.
  void Abandon(Origin origin);

  void SetScanRunning(bool running);
  bool ScanRunning() const { return scanRunning_; }
  // A request waits for its answer or its time-out.
  bool Waiting() const { return active_ != nullptr; }
  // Why the window cannot send now; empty when it can.
  QString BusyReason() const;

  // Frames that answer no request (late replies, other hosts, frames heard
  // on the line), as they are taken off a link.
  std::function<void(const UnmatchedFrame&)> onUnmatched;
  // BusyReason() may have changed.
  std::function<void()> onBusyChanged;

 private:
  EventLoopExchange* Find(Link& link) const;
  void NotifyBusy();

  RequestLog& log_;
  std::vector<std::unique_ptr<EventLoopExchange>> exchanges_;
  EventLoopExchange* active_ = nullptr;  // the one whose request waits
  Origin activeOrigin_ = Origin::Window;
  bool scanRunning_ = false;
};

// Texts of BusyReason(), for the buttons' tooltips.
inline constexpr const char* kWaitingForReply = "Waiting for the reply to the last request";
inline constexpr const char* kScanRunning = "A bus scan is running";

}  // namespace veltra
