#include "link/exchange.h"

#include <stdexcept>

#include "protocol/log_format.h"

namespace veltra {
namespace {

std::optional<std::uint8_t> StatusOf(const Bytes& frame, FrameForm form) {
  const std::size_t at = static_cast<std::size_t>(AddressOffset(form) + 3);
  if (at >= frame.size()) return std::nullopt;
  return frame[at];
}

}  // namespace

std::string UnmatchedLogLine(FrameVerdict kind, const std::string& readLine,
                             std::optional<std::chrono::nanoseconds> roundTrip) {
  std::string line = kind == FrameVerdict::Late ? "Late reply: " : "Unrelated frame: ";
  line += readLine;
  if (roundTrip) line += " (" + FormatRoundTrip(*roundTrip) + ")";
  return line;
}

Exchange::Exchange(Link& link, RequestLog& log) : link_(link), log_(log) {}

void Exchange::Observe(ObservedKind kind, const ReceivedUnit& unit, FrameForm form,
                       std::optional<std::chrono::nanoseconds> roundTrip) const {
  if (link_.Observed()) link_.Report({kind, unit.bytes, SystemTimeOf(unit.at), unit.from, {}, form, roundTrip, 0});
}

void ReportReceived(Link& link, const ReceivedUnit& unit, FrameForm form) {
  if (!link.Observed()) return;
  const ObservedKind kind = IsFrame(unit.bytes) ? ObservedKind::Unrelated : ObservedKind::NotAFrame;
  link.Report({kind, unit.bytes, SystemTimeOf(unit.at), unit.from, {}, form, std::nullopt, 0});
}

DecodedReply Exchange::Decode(const Bytes& bytes, FrameForm form) const {
  return form == FrameForm::Routed ? DecodeRouted(bytes.data(), bytes.size(), log_.LogMasked())
                                   : DecodeDirect(bytes.data(), bytes.size(), log_.LogMasked());
}

std::optional<SteadyTime> Exchange::Deadline() const {
  const PendingRequest* pending = tracker_.Pending();
  if (!pending) return std::nullopt;
  return pending->deadline;
}

void Exchange::Reset() {
  tracker_.Clear();
  notAFrame_.reset();
}

std::optional<ExchangeResult> Exchange::Start(PreparedRequest request) {
  // What came after earlier requests ended is theirs or nobody's, never
  // this one's.
  Poll();
  if (tracker_.Waiting()) tracker_.TimedOut();
  notAFrame_.reset();
  if (link_.Stopping()) {
    // Nothing more goes out once a stop was asked for.
    ExchangeResult result;
    result.outcome = ExchangeOutcome::NotSent;
    result.interrupted = true;
    result.request = std::move(request);
    return result;
  }

  PendingRequest pending;
  const auto sentAt = std::chrono::system_clock::now();
  const SendResult sent = SendDataDeal(request.buffer, link_, log_);
  pending.frame = sent.request;
  const FrameForm replyForm = link_.ReplyForm(request.form);
  pending.expected = ExpectReply(request.spec, pending.frame, request.form, replyForm);
  pending.request = std::move(request);
  if (sent.transmit != TransmitStatus::Sent) {
    ExchangeResult result;
    result.outcome = sent.transmit == TransmitStatus::NotOpen ? ExchangeOutcome::NotSent : ExchangeOutcome::Refused;
    result.request = std::move(pending.request);
    result.frame = std::move(pending.frame);
    return result;
  }
  pending.to = link_.LastDestination();
  pending.sentAt = sent.sentAt;
  if (link_.Observed())
    link_.Report({ObservedKind::Sent, pending.frame, SystemTimeOf(sent.sentAt), pending.to.value_or(LinkEndpoint{}),
                  {}, pending.request.form, std::nullopt, 0});
  sentClock_ = sentAt;
  pending.deadline = sent.sentAt + std::chrono::milliseconds(timeoutMs);
  tracker_.Start(std::move(pending));
  // A link that has the answer at once (a test's scripted one) gives it now.
  return Poll();
}

void Exchange::Listen(int timeoutMs) {
  if (tracker_.Waiting()) throw std::logic_error("a request waits: its answer is taken by Request or Poll");
  if (std::optional<ReceivedUnit> unit = link_.Receive(timeoutMs)) Take(*unit);
}

std::optional<ExchangeResult> Exchange::Poll() {
  while (std::optional<ReceivedUnit> unit = link_.Receive(0))
    if (std::optional<ExchangeResult> result = Take(*unit)) return result;
  return std::nullopt;
}

std::optional<ExchangeResult> Exchange::Take(const ReceivedUnit& unit) {
  const ReplyTracker::Verdict verdict = tracker_.Classify(unit);
  switch (verdict.kind) {
    case FrameVerdict::Answer:
      return Answer(unit);
    case FrameVerdict::NotAFrame:
      Observe(ObservedKind::NotAFrame, unit, listenForm);
      if (const PendingRequest* pending = tracker_.Pending(); pending && ReplyTracker::FromPeer(*pending, unit))
        notAFrame_ = unit;
      return std::nullopt;
    case FrameVerdict::Late:
    case FrameVerdict::Unrelated:
      break;
  }
  UnmatchedFrame frame;
  frame.kind = verdict.kind;
  frame.unit = unit;
  if (verdict.kind == FrameVerdict::Late) {
    frame.decoded = Decode(unit.bytes, verdict.request->expected.form);
    frame.lateFor = verdict.request->request;
    frame.roundTrip = unit.at - verdict.request->sentAt;
    Observe(ObservedKind::Late, unit, verdict.request->expected.form, frame.roundTrip);
  } else {
    frame.decoded = Decode(unit.bytes, listenForm);
    Observe(ObservedKind::Unrelated, unit, listenForm);
  }
  if (frame.decoded.logLine) frame.logLine = UnmatchedLogLine(frame.kind, *frame.decoded.logLine, frame.roundTrip);
  if (onUnmatched) onUnmatched(frame);
  return std::nullopt;
}

ExchangeResult Exchange::Answer(const ReceivedUnit& unit) {
  PendingRequest done = tracker_.Answered();
  ExchangeResult result;
  result.outcome = ExchangeOutcome::Answered;
  result.decoded = Decode(unit.bytes, done.expected.form);
  result.status = StatusOf(unit.bytes, done.expected.form);
  result.roundTrip = unit.at - done.sentAt;
  Observe(ObservedKind::Answer, unit, done.expected.form, result.roundTrip);
  result.reply = unit;
  result.request = std::move(done.request);
  result.frame = std::move(done.frame);
  result.sentAt = sentClock_;
  result.sent = true;
  notAFrame_.reset();
  return result;
}

std::optional<ExchangeResult> Exchange::Expire(SteadyTime now) {
  const PendingRequest* pending = tracker_.Pending();
  if (!pending || now < pending->deadline) return std::nullopt;
  PendingRequest done = tracker_.TimedOut();
  if (link_.Observed())
    link_.Report({ObservedKind::NoReply, done.frame, SystemTimeOf(now), done.to.value_or(LinkEndpoint{}), {},
                  done.request.form, std::nullopt, 0});
  ExchangeResult result;
  result.outcome = ExchangeOutcome::NoReply;
  result.request = done.request;
  result.frame = done.frame;
  result.sentAt = sentClock_;
  result.sent = true;
  result.notAFrame = std::move(notAFrame_);
  notAFrame_.reset();
  return result;
}

ExchangeResult Exchange::Interrupt() {
  // A reply that still comes is a late one.
  PendingRequest done = tracker_.TimedOut();
  ExchangeResult result;
  result.outcome = ExchangeOutcome::NoReply;
  result.interrupted = true;
  result.request = std::move(done.request);
  result.frame = std::move(done.frame);
  result.sentAt = sentClock_;
  result.sent = true;
  notAFrame_.reset();
  return result;
}

std::optional<ExchangeResult> Exchange::Fail(const std::string& error, int code) {
  if (!tracker_.Waiting()) return std::nullopt;
  PendingRequest done = tracker_.TimedOut();
  ExchangeResult result;
  result.outcome = ExchangeOutcome::Failed;
  result.request = std::move(done.request);
  result.frame = std::move(done.frame);
  result.error = error;
  result.errorCode = code;
  notAFrame_.reset();
  return result;
}

ExchangeResult Exchange::Request(PreparedRequest request) {
  if (std::optional<ExchangeResult> ended = Start(std::move(request))) return *ended;
  try {
    for (;;) {
      const SteadyTime now = std::chrono::steady_clock::now();
      if (std::optional<ExchangeResult> expired = Expire(now)) return *expired;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*Deadline() - now).count();
      std::optional<ReceivedUnit> unit = link_.Receive(static_cast<int>(left > 0 ? left : 0));
      if (!unit) {
        if (link_.Stopping()) return Interrupt();
        continue;
      }
      if (std::optional<ExchangeResult> result = Take(*unit)) return *result;
    }
  } catch (...) {
    // The link failed under the request: it is over, and a reply that still
    // comes is a late one.
    if (tracker_.Waiting()) tracker_.TimedOut();
    throw;
  }
}

}  // namespace veltra
