#pragma once
// Unplug and replug cycles of an adapter under a serial link that recovers:
// each cycle pulls the adapter, waits until the link is down, plugs it back
// (a new pseudo-terminal behind the same symlink), waits until the link has
// opened again by itself, and sends a frame each way through it. Shared by
// the endurance test and benchmark; the link is driven by its own Receive.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "../support/process_figures.h"
#include "link/serial_link.h"
#include "protocol/frame.h"
#include "pty_fixture.h"

namespace veltra::test {

struct ReplugFigures {
  int cycles = 0;            // completed
  std::string failure;       // why the cycles stopped early; empty: they did not
  std::vector<double> reopenMs;  // from the plug to the link's report that it opened again
  ProcessFigures before;     // after the warm-up cycles
  ProcessFigures after;
};

// Runs Receive until `done` or `limit`; false at the limit.
template <typename Done>
bool DriveUntil(SerialLink& link, Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    link.Receive(20);
  }
  return true;
}

// A module type reply of module `address` (direct, checksum complete): a
// whole frame for the link's assembler, either way.
inline std::vector<std::uint8_t> ReplugFrame(std::uint8_t address) {
  std::vector<std::uint8_t> frame{0x55, 0xAA, 0x0B, address, 0x80, 0x06, 0x01, 0x01, 0x2A};
  const std::uint16_t sum = FrameChecksum(frame.data(), 11);
  frame.push_back(static_cast<std::uint8_t>(sum >> 8));
  frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return frame;
}

// The link is open on adapter.link() with recovery on.
inline ReplugFigures RunReplugCycles(SerialLink& link, PluggablePty& adapter, int cycles, int warmup) {
  using Clock = std::chrono::steady_clock;
  ReplugFigures figures;
  const std::vector<std::uint8_t> frame = ReplugFrame(1);
  // The reopen is timed by the link's own report, not by the loop that
  // drives it (which looks only between its waits).
  Clock::time_point reopenedAt{};
  const std::function<void()> previous = link.onReconnected;
  link.onReconnected = [&] {
    reopenedAt = Clock::now();
    if (previous) previous();
  };
  for (int i = 0; i < warmup + cycles; ++i) {
    if (i == warmup) figures.before = MeasureProcess();
    adapter.Pull();
    if (!DriveUntil(link, [&] { return link.Down(); }, std::chrono::seconds(5))) {
      figures.failure = "cycle " + std::to_string(i) + ": the link did not go down";
      break;
    }
    if (!adapter.Plug()) {
      figures.failure = "cycle " + std::to_string(i) + ": no new pseudo-terminal";
      break;
    }
    const auto plugged = Clock::now();
    if (!DriveUntil(link, [&] { return !link.Down(); }, std::chrono::seconds(5)) || !link.IsOpen()) {
      figures.failure = "cycle " + std::to_string(i) + ": the link did not open again";
      break;
    }
    const double ms = std::chrono::duration<double, std::milli>(reopenedAt - plugged).count();
    if (link.Transmit(frame) != TransmitStatus::Sent || adapter.pty().Receive(frame.size()) != frame) {
      figures.failure = "cycle " + std::to_string(i) + ": the frame did not go out";
      break;
    }
    if (!adapter.pty().Send(frame)) {
      figures.failure = "cycle " + std::to_string(i) + ": the frame could not be sent back";
      break;
    }
    const auto unit = link.Receive(3000);
    if (!unit || unit->bytes != frame) {
      figures.failure = "cycle " + std::to_string(i) + ": the frame did not come in";
      break;
    }
    if (i >= warmup) {
      figures.reopenMs.push_back(ms);
      ++figures.cycles;
    }
  }
  figures.after = MeasureProcess();
  link.onReconnected = previous;
  return figures;
}

}  // namespace veltra::test
