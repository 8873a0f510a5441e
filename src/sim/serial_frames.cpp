#include "sim/serial_frames.h"

namespace veltra {

void SerialFrameSplitter::Skip(std::size_t count) {
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(count));
  skipped_ += count;
}

void SerialFrameSplitter::Extract(std::vector<SimFrame>& frames) {
  constexpr std::size_t kShortestFrame = 8;
  while (!buffer_.empty()) {
    if (buffer_[0] != kHeader0) {
      Skip(1);
      continue;
    }
    if (buffer_.size() < 2) return;
    if (buffer_[1] != kHeader1) {
      Skip(1);
      continue;
    }
    if (buffer_.size() < 3) return;
    const std::size_t length = buffer_[2];
    if (length < kShortestFrame || length > kMaxSendLength) {
      Skip(1);
      continue;
    }
    if (buffer_.size() < length) return;
    const std::uint16_t sum = FrameChecksum(buffer_.data(), static_cast<int>(length));
    if (buffer_[length - 2] != (sum >> 8) || buffer_[length - 1] != (sum & 0xFF)) {
      Skip(1);
      continue;
    }
    frames.emplace_back(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
  }
}

std::vector<SimFrame> SerialFrameSplitter::Feed(const std::uint8_t* bytes, std::size_t size) {
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  std::vector<SimFrame> frames;
  Extract(frames);
  return frames;
}

std::vector<SimFrame> SerialFrameSplitter::Resync() {
  std::vector<SimFrame> frames;
  while (frames.empty() && !buffer_.empty()) {
    Skip(1);
    Extract(frames);
  }
  return frames;
}

}  // namespace veltra
