#pragma once
// Cuts the byte stream of a serial line into frames. The line carries
// frames back to back with no delimiter, and the reader hands the bytes over
// in chunks that need not match frame boundaries: a chunk may hold several
// frames, part of one, or noise. A frame starts at 55 AA, its Length byte
// (within what a frame of the form can be, from a request without
// parameters to the longest reply a receiver takes) says where it ends, and
// its checksum must hold. Replies and the requests of other masters heard on
// the line come out alike; which answer a request is the exchange's to say. Bytes that start no such frame are skipped one at a
// time until the stream is in step again; after a silence on the line an
// incomplete frame is given up, so junk cannot hold back later frames.
//
// Pure and clock-free: the caller says when bytes arrived and what time it
// is, so that the same code serves a window's timer, a link layer and tests.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/frame.h"

namespace veltra {

class FrameAssembler {
 public:
  using Clock = std::chrono::steady_clock;
  using Frame = std::vector<std::uint8_t>;

  // Silence on the line after which a frame still incomplete never will be.
  static constexpr std::chrono::milliseconds kSilenceLimit{100};

  explicit FrameAssembler(FrameForm form = FrameForm::Direct) : form_(form) {}

  // Frames are looked for in this form's Length range from the next call on.
  void SetForm(FrameForm form) { form_ = form; }
  FrameForm Form() const { return form_; }

  // Takes the bytes received at `now`, in line order. Returns every frame
  // they complete, in order; a frame is returned as soon as its last byte is
  // in. Bytes still waiting from before a silence of kSilenceLimit are
  // settled first, as Expire does.
  std::vector<Frame> Feed(const std::uint8_t* bytes, std::size_t size, Clock::time_point now);

  // Once the line has been silent for kSilenceLimit, the incomplete frame
  // that waits for more bytes is dropped; complete frames found behind its
  // start are returned and every other waiting byte is dropped. Earlier,
  // nothing changes.
  std::vector<Frame> Expire(Clock::time_point now);

  // When Expire will have something to do; empty while nothing waits.
  std::optional<Clock::time_point> ExpiryTime() const;

  // Bytes waiting for the rest of a frame.
  std::size_t PendingBytes() const { return buffer_.size(); }
  // Bytes skipped or dropped so far because they belonged to no frame.
  std::size_t SkippedBytes() const { return skipped_; }
  // What looked like frames (header, a Length in range, every byte in) but
  // whose checksum did not hold, since the last call, in line order: the
  // latest kKeptRejected. Their bytes are counted among the skipped ones.
  static constexpr std::size_t kKeptRejected = 8;
  std::vector<Frame> TakeRejected();
  // The last skipped or dropped bytes (at most kKeptSkipped) since the last
  // call, in line order; they are forgotten here.
  static constexpr std::size_t kKeptSkipped = 64;
  std::vector<std::uint8_t> TakeSkipped();

  // Forgets the waiting bytes (a reopened line starts afresh).
  void Clear() { buffer_.clear(); }

 private:
  // Moves every complete frame at the front of the buffer to `frames`,
  // skipping bytes that start none; stops at an incomplete frame.
  void Extract(std::vector<Frame>& frames);
  void Skip(std::uint8_t byte);
  bool SilentSince(Clock::time_point now) const { return now - lastByte_ >= kSilenceLimit; }

  FrameForm form_;
  std::vector<std::uint8_t> buffer_;
  Clock::time_point lastByte_{};
  std::size_t skipped_ = 0;
  std::vector<Frame> rejected_;
  std::vector<std::uint8_t> kept_;  // the last skipped bytes
};

}  // namespace veltra
