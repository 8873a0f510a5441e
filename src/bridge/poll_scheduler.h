#pragma once
// Which module's status is read next, and when: pure and clock-free, like
// the bus scan. The caller says what time it is and what each poll took on
// the line; the scheduler says which module is due.
//
// Every module is read once per interval, the reads spread evenly over it
// (interval / modules apart). On a serial line the polls also keep within a
// share of the line's time: after a poll that kept the line busy for t, the
// next starts no sooner than t / share after it, so that polling never
// occupies more than that share however many modules there are (the round
// then takes longer than the interval). The first round after a start goes
// at the budget's pace alone, so that every state is known soon. Commands
// are not counted: they go when they come.
#include <chrono>
#include <optional>
#include <vector>

namespace veltra::bridge {

struct LineBudget {
  double share = 0.2;          // of the line's time, above 0 and at most 1
  double secondsPerByte = 0;   // one character's bits / baud; 0: no line to protect (UDP)

  // The least time from one poll's start to the next after a poll that put
  // this many bytes on the line (request and reply).
  std::chrono::nanoseconds Gap(int bytes) const;
};

class PollScheduler {
 public:
  using Clock = std::chrono::steady_clock;

  PollScheduler(std::vector<int> modules, Clock::duration interval, LineBudget budget);

  // A new first round from now (a start, the link back).
  void Start(Clock::time_point now);
  // The module due at `now`; nothing before NextDue() or without modules.
  std::optional<int> Due(Clock::time_point now) const;
  Clock::time_point NextDue() const { return nextDue_; }
  // The due module was read from `started` on, with this many bytes on the
  // line (the request, and the reply when one came).
  void Polled(Clock::time_point started, int bytes);

  // How long a round takes with polls of this many bytes each.
  Clock::duration Round(int bytesPerPoll) const;
  bool FirstRound() const { return firstRound_; }

 private:
  std::vector<int> modules_;
  Clock::duration slot_;
  LineBudget budget_;
  std::size_t next_ = 0;
  bool firstRound_ = true;
  Clock::time_point nextDue_ = Clock::time_point::max();
};

}  // namespace veltra::bridge
