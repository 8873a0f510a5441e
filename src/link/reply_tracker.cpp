#include "link/reply_tracker.h"

#include <algorithm>
#include <array>

namespace veltra {

bool IsFrame(const Bytes& bytes) {
  if (bytes.size() < static_cast<std::size_t>(FrameLength(FrameForm::Direct, 0)) || bytes.size() > kTransmitBufferSize)
    return false;
  std::array<std::uint8_t, kTransmitBufferSize> work{};
  std::copy(bytes.begin(), bytes.end(), work.begin());
  return AcceptFrame(work.data()) && work[2] >= FrameLength(FrameForm::Direct, 0) && work[2] <= bytes.size();
}

bool IsReplyFrame(const Bytes& bytes, FrameForm form) {
  if (bytes.size() < static_cast<std::size_t>(MinReplyLength(form)) || bytes.size() > kTransmitBufferSize)
    return false;
  std::array<std::uint8_t, kTransmitBufferSize> work{};
  std::copy(bytes.begin(), bytes.end(), work.begin());
  return AcceptFrame(work.data()) && work[2] >= MinReplyLength(form) && work[2] <= bytes.size();
}

void ReplyTracker::Start(PendingRequest request) { pending_ = std::move(request); }

bool ReplyTracker::FromPeer(const PendingRequest& request, const ReceivedUnit& unit) {
  if (request.expected.anySender || !request.to) return true;
  return unit.from.address == request.to->address && unit.from.port == request.to->port;
}

ReplyTracker::Verdict ReplyTracker::Classify(const ReceivedUnit& unit) {
  auto answers = [&unit](const PendingRequest& r) {
    return FromPeer(r, unit) && IsReplyFrame(unit.bytes, r.expected.form) && AnswersRequest(r.expected, unit.bytes);
  };
  if (pending_ && answers(*pending_)) return {FrameVerdict::Answer, &*pending_};
  for (auto it = expired_.rbegin(); it != expired_.rend(); ++it) {
    if (!answers(*it)) continue;
    lastLate_ = std::move(*it);
    expired_.erase(std::next(it).base());
    return {FrameVerdict::Late, &lastLate_};
  }
  // In either form: a routed frame is a valid direct one too, as far as the
  // acceptance test goes. A request heard on the line is a frame, and
  // answers nothing.
  if (!IsFrame(unit.bytes)) return {FrameVerdict::NotAFrame, nullptr};
  return {FrameVerdict::Unrelated, nullptr};
}

PendingRequest ReplyTracker::Answered() {
  PendingRequest done = std::move(*pending_);
  pending_.reset();
  return done;
}

PendingRequest ReplyTracker::TimedOut() {
  PendingRequest done = std::move(*pending_);
  pending_.reset();
  expired_.push_back(done);
  if (expired_.size() > kRememberedExpired) expired_.pop_front();
  return done;
}

void ReplyTracker::Clear() {
  pending_.reset();
  expired_.clear();
}

}  // namespace veltra
