#include "link/event_loop_exchange.h"

#include <QSocketNotifier>
#include <exception>
#include <stdexcept>

namespace veltra {

EventLoopExchange::EventLoopExchange(Link& link, RequestLog& log, QObject* parent)
    : QObject(parent), link_(link), exchange_(link, log) {
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  connect(&deadline_, &QTimer::timeout, this, [this] { Expire(); });
  link_.SetReadyHandler([this] { Poll(); });
  LinkChanged();
}

EventLoopExchange::~EventLoopExchange() { link_.SetReadyHandler({}); }

void EventLoopExchange::LinkChanged() {
  const int handle = link_.ReadableHandle();
  if (readable_) {
    // Called from a request's handler, the link may have been re-pointed
    // while this notifier's own activation is being delivered: it goes once
    // that is over.
    readable_->setEnabled(false);
    readable_->deleteLater();
    readable_ = nullptr;
  }
  if (handle >= 0) {
    readable_ = new QSocketNotifier(handle, QSocketNotifier::Read, this);
    connect(readable_, &QSocketNotifier::activated, this, [this] { Poll(); });
  }
  if (!link_.IsOpen()) {
    // Nothing more will come for the request, nor late for earlier ones.
    exchange_.Reset();
    if (done_) {
      ExchangeResult closed;
      closed.outcome = ExchangeOutcome::Failed;
      closed.error = "the link was closed";
      Finish(closed);
    }
  }
}

void EventLoopExchange::Start(PreparedRequest request, Done done) {
  if (done_) throw std::logic_error("a request is already waiting for its reply");
  if (!readable_ && link_.ReadableHandle() >= 0) LinkChanged();
  done_ = std::move(done);
  // Frames the serial line hands in while the request goes out are taken
  // once it is on its way.
  polling_ = true;
  pollAgain_ = false;
  std::optional<ExchangeResult> ended;
  try {
    ended = exchange_.Start(std::move(request));
  } catch (const LinkError& error) {
    if (!exchange_.Waiting()) {
      // Nothing went: the caller hears of it as a failure to send.
      polling_ = false;
      done_ = {};
      throw;
    }
    // Sent, and the link failed at once under it (a refusal already back
    // on loopback): the request ends with that, as it would from the loop.
    ended = exchange_.Fail(error.what(), error.code());
  } catch (...) {
    polling_ = false;
    done_ = {};
    throw;
  }
  polling_ = false;
  if (ended) {
    Finish(*ended);
    return;
  }
  ArmDeadline();
  if (pollAgain_) Poll();
}

void EventLoopExchange::Abandon() {
  if (!done_) return;
  deadline_.stop();
  done_ = {};
  exchange_.Fail("abandoned");  // remembered, so that its reply counts as late
}

void EventLoopExchange::ArmDeadline() {
  const std::optional<SteadyTime> at = exchange_.Deadline();
  if (!at) return;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*at - std::chrono::steady_clock::now()).count();
  deadline_.start(static_cast<int>(wait > 0 ? wait : 0));
}

void EventLoopExchange::Poll() {
  // A frame delivered while frames are taken (the serial line's expiry
  // runs inside Receive) is taken by the loop already running.
  if (polling_) {
    pollAgain_ = true;
    return;
  }
  polling_ = true;
  do {
    pollAgain_ = false;
    std::optional<ExchangeResult> result;
    try {
      result = exchange_.Poll();
    } catch (const LinkError& error) {
      // Exceptions never cross the event loop: the waiting request ends with
      // the link's error (a refusal of the bus switch's host among them).
      result = exchange_.Fail(error.what(), error.code());
    } catch (const std::exception& error) {
      result = exchange_.Fail(error.what());
    }
    if (result) {
      // The answer first; then what came behind it in the same delivery
      // (the serial line says once for several frames) is taken too.
      polling_ = false;
      Finish(*result);
      polling_ = true;
      pollAgain_ = true;
    }
  } while (pollAgain_);
  polling_ = false;
}

void EventLoopExchange::Expire() {
  if (std::optional<ExchangeResult> result = exchange_.Expire(std::chrono::steady_clock::now())) {
    Finish(*result);
    return;
  }
  ArmDeadline();  // woken a little early
}

void EventLoopExchange::Finish(const ExchangeResult& result) {
  deadline_.stop();
  Done done = std::move(done_);
  done_ = {};
  if (done) done(result);
}

}  // namespace veltra
