#include "protocol/frame_assembler.h"

namespace veltra {

void FrameAssembler::Skip(std::uint8_t byte) {
  ++skipped_;
  if (kept_.size() == kKeptSkipped) kept_.erase(kept_.begin());
  kept_.push_back(byte);
}

std::vector<std::uint8_t> FrameAssembler::TakeSkipped() {
  std::vector<std::uint8_t> taken;
  taken.swap(kept_);
  return taken;
}

void FrameAssembler::Extract(std::vector<Frame>& frames) {
  const std::size_t shortest = static_cast<std::size_t>(FrameLength(form_, 0));
  const std::size_t longest = kMaxReceiveLength;
  std::size_t at = 0;  // start of the candidate; everything before it is settled
  while (at < buffer_.size()) {
    const std::uint8_t* p = buffer_.data() + at;
    const std::size_t available = buffer_.size() - at;
    // Each test runs as soon as its byte is in, so a false start is skipped
    // without waiting for bytes it does not need.
    if (p[0] != kHeader0 || (available >= 2 && p[1] != kHeader1)) {
      Skip(p[0]);
      ++at;
      continue;
    }
    if (available < 3) break;
    const std::size_t length = p[2];
    if (length < shortest || length > longest) {
      Skip(p[0]);
      ++at;
      continue;
    }
    if (available < length) break;
    const std::uint16_t sum = FrameChecksum(p, static_cast<int>(length));
    if (p[length - 2] != (sum >> 8) || p[length - 1] != (sum & 0xFF)) {
      if (rejected_.size() == kKeptRejected) rejected_.erase(rejected_.begin());
      rejected_.emplace_back(p, p + length);
      Skip(p[0]);
      ++at;
      continue;
    }
    frames.emplace_back(p, p + length);
    at += length;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
}

std::vector<FrameAssembler::Frame> FrameAssembler::Feed(const std::uint8_t* bytes, std::size_t size,
                                                        Clock::time_point now) {
  std::vector<Frame> frames = Expire(now);
  if (size == 0) return frames;
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  lastByte_ = now;
  Extract(frames);
  return frames;
}

std::vector<FrameAssembler::Frame> FrameAssembler::Expire(Clock::time_point now) {
  std::vector<Frame> frames;
  if (buffer_.empty() || !SilentSince(now)) return frames;
  // No byte will complete what waits: give up its start and look again
  // behind it, until every waiting byte is settled.
  while (!buffer_.empty()) {
    Skip(buffer_.front());
    buffer_.erase(buffer_.begin());
    Extract(frames);
  }
  return frames;
}

std::vector<FrameAssembler::Frame> FrameAssembler::TakeRejected() {
  std::vector<Frame> taken;
  taken.swap(rejected_);
  return taken;
}

std::optional<FrameAssembler::Clock::time_point> FrameAssembler::ExpiryTime() const {
  if (buffer_.empty()) return std::nullopt;
  return lastByte_ + kSilenceLimit;
}

}  // namespace veltra
