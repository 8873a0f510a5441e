#include "console/exchange_controller.h"

#include <stdexcept>

namespace veltra {

ExchangeController::ExchangeController(RequestLog& log, QObject* parent) : QObject(parent), log_(log) {}

ExchangeController::~ExchangeController() = default;

EventLoopExchange* ExchangeController::Find(Link& link) const {
  for (const auto& exchange : exchanges_)
    if (&exchange->exchange().link() == &link) return exchange.get();
  return nullptr;
}

void ExchangeController::AddLink(Link& link) {
  if (Find(link)) return;
  auto exchange = std::make_unique<EventLoopExchange>(link, log_, this);
  exchange->exchange().onUnmatched = [this](const UnmatchedFrame& frame) {
    if (onUnmatched) onUnmatched(frame);
  };
  exchanges_.push_back(std::move(exchange));
}

Exchange& ExchangeController::ExchangeOn(Link& link) {
  EventLoopExchange* found = Find(link);
  if (!found) throw std::logic_error("the link was not added to the exchanges");
  return found->exchange();
}

void ExchangeController::LinkChanged(Link& link) {
  if (EventLoopExchange* found = Find(link)) found->LinkChanged();
}

bool ExchangeController::Start(Link& link, PreparedRequest request, int timeoutMs, Done done, Origin origin) {
  if (active_ || (scanRunning_ && origin == Origin::Window)) return false;
  EventLoopExchange* exchange = Find(link);
  if (!exchange) {
    AddLink(link);
    exchange = Find(link);
  }
  exchange->exchange().timeoutMs = timeoutMs;
  // Set before the request goes: a result that comes at once clears it.
  active_ = exchange;
  activeOrigin_ = origin;
  auto finished = [this, done = std::move(done)](const ExchangeResult& result) {
    active_ = nullptr;
    if (done) done(result);
    NotifyBusy();
  };
  try {
    exchange->Start(std::move(request), std::move(finished));
  } catch (...) {
    active_ = nullptr;
    NotifyBusy();
    throw;
  }
  NotifyBusy();
  return true;
}

void ExchangeController::Abandon(Origin origin) {
  if (!active_ || activeOrigin_ != origin) return;
  EventLoopExchange* exchange = active_;
  active_ = nullptr;
  exchange->Abandon();
  NotifyBusy();
}

void ExchangeController::SetScanRunning(bool running) {
  if (scanRunning_ == running) return;
  scanRunning_ = running;
  NotifyBusy();
}

QString ExchangeController::BusyReason() const {
  if (scanRunning_) return QString::fromLatin1(kScanRunning);
  if (active_) return QString::fromLatin1(kWaitingForReply);
  return {};
}

void ExchangeController::NotifyBusy() {
  if (onBusyChanged) onBusyChanged();
}

}  // namespace veltra
