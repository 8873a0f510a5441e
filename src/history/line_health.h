#pragma once
// The health of the line, computed from frames: how busy the serial line is
// (its bytes on the wire against its rate), frames per second, bad frames
// and noise, late and unrelated frames, and per module its requests,
// replies, missing replies and round trips (p50/p95/p99). Thresholds mark a
// figure as a warning. Pure: the Line Health panel feeds it live frames,
// veltra-cli stats the frames of a span of the history.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "history/frame_record.h"

namespace veltra::history {

struct HealthThresholds {
  double occupancyPercent = 60;  // of the serial line's capacity
  double badFramePercent = 1;    // of the frames received
  double noReplyPercent = 5;     // of a module's requests
};

struct RoundTrips {
  double p50 = 0, p95 = 0, p99 = 0;  // milliseconds
};

struct ModuleFigures {
  int address = 0;
  std::int64_t requests = 0;   // sent to it
  std::int64_t replies = 0;    // answers in time
  std::int64_t late = 0;       // replies after the time-out
  std::int64_t noReplies = 0;  // requests that got none
  std::int64_t heard = 0;      // frames of others to or from it
  std::optional<RoundTrips> roundTrip;
  double noReplyPercent = 0;
  bool noReplyWarning = false;
};

struct OccupancyFigures {
  LinkInfo link;              // a serial line
  std::int64_t wireBytes = 0;  // frames and noise both ways
  double percent = 0;
  bool warning = false;
};

struct LineFigures {
  double seconds = 0;  // the span the rates are over
  std::int64_t frames = 0;  // frames on the wire, both ways
  std::int64_t sent = 0;
  std::int64_t received = 0;
  double framesPerSecond = 0;
  std::int64_t badChecksums = 0;
  std::int64_t notFrames = 0;  // received bytes that were no frame at all
  std::int64_t noiseBytes = 0;
  std::int64_t lateReplies = 0;
  std::int64_t unrelated = 0;
  std::int64_t noReplies = 0;
  double badFramePercent = 0;  // bad checksums and no frames, of the frames received
  bool badFrameWarning = false;
  std::vector<OccupancyFigures> occupancy;
  std::vector<ModuleFigures> modules;  // by address

  // One line per warning, with what to check.
  std::vector<std::string> Warnings() const;
};

class LineHealth {
 public:
  // Round trips kept per module; beyond, a fair sample of them.
  static constexpr std::size_t kKeptRoundTrips = 100'000;

  void Add(const FrameRecord& record, const LinkInfo& link);
  void Merge(const LineHealth& other);
  void Clear() { *this = LineHealth(); }
  bool Empty() const { return frames_ == 0 && noise_ == 0 && noReplies_ == 0; }

  // The figures over a span of `seconds` (the rates and the occupancy).
  LineFigures Figures(double seconds, const HealthThresholds& thresholds = {}) const;

 private:
  struct Module {
    std::int64_t requests = 0, replies = 0, late = 0, noReplies = 0, heard = 0;
    std::vector<std::uint32_t> roundTripsUs;
    std::uint64_t roundTripsSeen = 0;
  };
  struct Line {
    LinkInfo link;
    std::int64_t wireBytes = 0;
  };
  void KeepRoundTrip(Module& m, std::uint32_t us);

  std::int64_t frames_ = 0, sent_ = 0, received_ = 0;
  std::int64_t badChecksums_ = 0, notFrames_ = 0, noise_ = 0;
  std::int64_t late_ = 0, unrelated_ = 0, noReplies_ = 0;
  std::map<std::string, Line> lines_;  // serial lines by their text and timing
  std::map<int, Module> modules_;
  std::uint64_t random_ = 0x9E3779B97F4A7C15ull;
};

// The figures as the text veltra-cli stats prints, and as JSON.
std::string FiguresText(const LineFigures& figures);
std::string FiguresJson(const LineFigures& figures);

}  // namespace veltra::history
