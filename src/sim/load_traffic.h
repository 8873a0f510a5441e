#pragma once
// The traffic of a busy bus, for load tests: frame after frame of other
// masters' requests to the bus's modules and the modules' replies ("Read
// Status" and its output states, "On" and its acknowledgement, "Read Module
// Type" and the type), cycling over the modules, in one form. Every n-th
// frame can have its checksum broken, as a bad line would. Pure.
#include <cstdint>
#include <vector>

#include "sim/sim_bus.h"

namespace veltra {

class LoadTraffic {
 public:
  // addresses: the modules the traffic goes to (at least one).
  // badEvery > 0: every badEvery-th frame's checksum does not hold.
  LoadTraffic(FrameForm form, int subnet, std::vector<int> addresses, int badEvery = 0);

  // The next frame, and how many were made so far.
  SimFrame Next();
  std::uint64_t Count() const { return count_; }

  // Frames of one cycle per module.
  static constexpr int kCycle = 6;

 private:
  FrameForm form_;
  int subnet_;
  std::vector<int> addresses_;
  int badEvery_;
  std::uint64_t count_ = 0;
};

// The addresses of a population's modules that have one.
std::vector<int> LoadAddresses(const std::vector<SimModule>& modules);

}  // namespace veltra
