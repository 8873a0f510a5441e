#pragma once
// Cuts the byte stream of a serial line into frames. Frames follow each other
// without delimiters; each one starts with 55 AA and its Length byte says
// where it ends. Bytes that do not start a frame with a valid checksum are
// skipped one at a time until the stream is in step again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sim_bus.h"

namespace veltra {

class SerialFrameSplitter {
 public:
  // Appends received bytes; returns the complete frames now available.
  std::vector<SimFrame> Feed(const std::uint8_t* bytes, std::size_t size);
  // After a quiet gap a partial frame will not be completed: skips bytes
  // until a frame comes out or nothing is left.
  std::vector<SimFrame> Resync();
  // Bytes waiting for the rest of a frame.
  bool Pending() const { return !buffer_.empty(); }
  // Bytes skipped so far because they did not belong to a frame.
  std::size_t Skipped() const { return skipped_; }

 private:
  void Extract(std::vector<SimFrame>& frames);
  void Skip(std::size_t count);
  std::vector<std::uint8_t> buffer_;
  std::size_t skipped_ = 0;
};

}  // namespace veltra
