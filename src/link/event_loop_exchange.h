#pragma once
// The exchange driven by the Qt event loop, for the window: a request is
// sent and the loop goes on (painting, keyboard, other events) while the
// reply is awaited. Datagrams are taken when the socket becomes readable,
// serial frames when the link says one is in, and a timer ends the wait.
// Frames that come when no request waits are taken as they arrive too, so
// a late reply is reported when it comes.
#include <QObject>
#include <QTimer>
#include <functional>

#include "link/exchange.h"

class QSocketNotifier;

namespace veltra {

class EventLoopExchange : public QObject {
 public:
  using Done = std::function<void(const ExchangeResult&)>;

  EventLoopExchange(Link& link, RequestLog& log, QObject* parent = nullptr);
  ~EventLoopExchange() override;

  // Timing, listening form and the handler of unmatched frames.
  Exchange& exchange() { return exchange_; }

  // Sends the request; `done` gets its result from the event loop, or at
  // once when it ended at once (not sent, or a reply already there). Only
  // one request at a time: Start while one waits is refused with
  // std::logic_error. Throws LinkError when the link fails on sending.
  void Start(PreparedRequest request, Done done);
  bool Waiting() const { return static_cast<bool>(done_); }
  // Gives up the waiting request at once, without its handler being called
  // (the operator stopped what asked for it); a reply that still comes is a
  // late one.
  void Abandon();

  // The link was opened, closed or got a new socket: watch what it has now.
  // Call it right after such a change, before the event loop runs again.
  void LinkChanged();
  // Takes what the link holds now (also done by itself on every arrival).
  void Poll();

 private:
  void Finish(const ExchangeResult& result);
  void ArmDeadline();
  void Expire();

  Link& link_;
  Exchange exchange_;
  Done done_;
  QTimer deadline_;
  QSocketNotifier* readable_ = nullptr;  // a child of this exchange
  bool polling_ = false;
  bool pollAgain_ = false;
};

}  // namespace veltra
