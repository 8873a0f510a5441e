#include "link/request_session.h"

#include <chrono>

namespace veltra {

DecodedReply DecodeUnit(const Bytes& unit, FrameForm form, bool masked) {
  return form == FrameForm::Routed ? DecodeRouted(unit.data(), unit.size(), masked)
                                   : DecodeDirect(unit.data(), unit.size(), masked);
}

RequestSession::RequestSession(Link& link, FrameForm replyForm, int timeoutMs)
    : link_(link), replyForm_(replyForm), timeoutMs_(timeoutMs) {}

void RequestSession::AppendLog(const std::string& line) {
  if (onLogLine) onLogLine(line);
}

std::optional<DecodedReply> RequestSession::Listen(int timeoutMs, Bytes* frame) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int wait = timeoutMs;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    const std::optional<Bytes> unit = link_.Receive(wait);
    if (!unit) return std::nullopt;
    DecodedReply decoded = DecodeUnit(*unit, replyForm_, masked);
    if (!decoded.logLine) continue;  // not a frame: wait on for one
    AppendLog(*decoded.logLine);
    if (frame) *frame = *unit;
    return decoded;
  }
}

Exchange RequestSession::Request(TransmitBuffer& buffer) {
  link_.DiscardPending();
  const SendResult sent = SendDataDeal(buffer, link_, *this, false);
  Exchange exchange;
  exchange.transmit = sent.transmit;
  exchange.request = sent.request;
  if (sent.outcome == SendOutcome::NotSent) return exchange;
  Bytes frame;
  const std::optional<DecodedReply> decoded = Listen(timeoutMs_, &frame);
  if (!decoded) {
    exchange.outcome = SendOutcome::NoReply;
    return exchange;
  }
  exchange.roundTripMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent.sentAt).count();
  exchange.outcome = SendOutcome::Replied;
  exchange.reply = std::move(frame);
  exchange.decoded = *decoded;
  const int statusAt = AddressOffset(replyForm_) + 3;
  if (static_cast<std::size_t>(statusAt) < exchange.reply->size()) exchange.status = (*exchange.reply)[statusAt];
  return exchange;
}

}  // namespace veltra
