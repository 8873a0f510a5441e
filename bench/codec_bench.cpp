// Frames completed and checksummed per second, and replies decoded per
// second, for the longest request and a typical status reply.
#include <chrono>
#include <cstdio>
#include <vector>

#include "protocol/bus_switch_commands.h"
#include "protocol/command_catalogue.h"
#include "replies/reply_decoder.h"

using Clock = std::chrono::steady_clock;

template <typename F>
double PerSecond(long iterations, F&& work) {
  const auto start = Clock::now();
  for (long i = 0; i < iterations; ++i) work(i);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return iterations / seconds;
}

int main() {
  using namespace veltra;
  constexpr long kIterations = 5'000'000;
  TransmitBuffer buffer{};
  volatile std::uint8_t sink = 0;

  const RequestSpec& on = Request(RequestId::LightOn);
  RequestValues onValues;
  onValues.ints = {{"ADDR", 1}, {"OUTPUT", 1}};
  const double onFrames = PerSecond(kIterations, [&](long i) {
    onValues.ints.find("ADDR")->second = static_cast<int>(i & 31) + 1;
    BuildRequest(on, onValues, {FrameForm::Routed, 1}, buffer);
    CompleteFrame(buffer.data());
    sink = sink + buffer[11];
  });
  const RequestSpec& set = Request(RequestId::BusSwitchSet);
  RequestValues setValues;
  const double setFrames = PerSecond(kIterations, [&](long i) {
    setValues.record[0] = static_cast<std::uint8_t>(i);
    BuildRequest(set, setValues, {}, buffer);
    CompleteFrame(buffer.data());
    sink = sink + buffer[37];
  });

  // ReadStatus reply with eight status bytes, routed.
  std::vector<std::uint8_t> reply{0x55, 0xAA, 20, 0, 1, 2, 0x80, 8, 1, 1, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0};
  const auto sum = FrameChecksum(reply.data(), 20);
  reply[18] = sum >> 8;
  reply[19] = sum & 0xFF;
  const double masked = PerSecond(kIterations, [&](long) {
    sink = sink + DecodeRouted(reply.data(), reply.size(), true).statusBits.size();
  });
  const double dumped = PerSecond(kIterations, [&](long) {
    sink = sink + DecodeRouted(reply.data(), reply.size(), false).logLine->size();
  });
  std::printf("light On (12 bytes) built+completed: %.2f M frames/s\n", onFrames / 1e6);
  std::printf("bus switch Set (38 bytes) built+completed: %.2f M frames/s\n", setFrames / 1e6);
  std::printf("status reply decoded, masked log: %.2f M replies/s\n", masked / 1e6);
  std::printf("status reply decoded, hex dump log: %.2f M replies/s\n", dumped / 1e6);
  std::printf("(checksum of results: %u)\n", static_cast<unsigned>(sink));
  return 0;
}
