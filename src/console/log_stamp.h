#pragma once
// The local time at the start of a log line, "HH:MM:SS.mmm ". Asking the
// system for the local time zone on every line costs more than the rest of
// a loopback request, so the hour and minute are worked out once a minute
// (zone and daylight-saving changes fall on whole minutes) and the seconds
// and milliseconds counted from there.
#include <QString>
#include <chrono>

namespace veltra {

class LogStamp {
 public:
  using Clock = std::chrono::system_clock;

  QString At(Clock::time_point now);
  QString Now() { return At(Clock::now()); }

 private:
  Clock::time_point minuteStart_{};  // the cached minute: [start, start + 60 s)
  char hourMinute_[6] = {};          // "HH:MM" of that minute, local time
  bool valid_ = false;
};

}  // namespace veltra
