#pragma once
// Fault knobs of a simulated link: delayed, dropped and garbled replies, for
// trying out time-outs and the handling of bad input.
#include <cstdint>
#include <optional>

#include "sim/sim_bus.h"

namespace veltra {

struct SimFaults {
  int delayMs = 0;       // every reply leaves this much later
  int dropEvery = 0;     // n > 0: the n-th, 2n-th ... reply is not sent
  int garbageEvery = 0;  // n > 0: the n-th, 2n-th ... reply is replaced by garbage
};

// Garbage that no receiver can take for a frame, in rotation: the reply with
// a broken checksum, with a broken header, cut to its first half, and a few
// noise bytes that start with 00.
enum class GarbageKind { BadChecksum, BadHeader, Truncated, Noise };

SimFrame MakeGarbage(const SimFrame& reply, GarbageKind kind, std::uint32_t seed);

// Decides, reply by reply, what a link actually sends. Not thread-safe: each
// endpoint owns one.
class ReplyShaper {
 public:
  explicit ReplyShaper(SimFaults faults) : faults_(faults) {}

  struct Outcome {
    std::optional<SimFrame> bytes;  // empty: dropped
    bool garbage = false;
  };
  Outcome Shape(const SimFrame& reply);
  int DelayMs() const { return faults_.delayMs; }

 private:
  SimFaults faults_;
  std::uint64_t count_ = 0;
  std::uint32_t garbageCount_ = 0;
};

}  // namespace veltra
