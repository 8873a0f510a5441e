// The poll scheduler as a state machine on a clock of the test's own: every
// module once per interval, spread evenly; on a serial line never more than
// the budget's share of the line's time, however many modules there are.
#include <gtest/gtest.h>

#include <map>

#include "bridge/poll_scheduler.h"
#include "link/link_options.h"

namespace veltra::bridge {
namespace {

using namespace std::chrono_literals;
using Clock = PollScheduler::Clock;

struct Poll {
  int module;
  Clock::time_point at;
};

// Runs the scheduler from t0 for `span`: each poll takes `busy` (its round
// trip) and puts `bytes` on the line.
std::vector<Poll> Simulate(PollScheduler& s, Clock::time_point t0, Clock::duration span, int bytes,
                      Clock::duration busy = 1ms) {
  std::vector<Poll> polls;
  Clock::time_point now = t0;
  s.Start(t0);
  while (now < t0 + span) {
    if (const auto m = s.Due(now)) {
      polls.push_back({*m, now});
      now += busy;
      s.Polled(polls.back().at, bytes);
    } else {
      EXPECT_GT(s.NextDue(), now);
      now = s.NextDue();
    }
  }
  return polls;
}

LineBudget Serial9600(double share, const char* parity = "none", const char* stop = "1") {
  LinkOptions line;
  line.serial = "/dev/pts/9";
  line.parity = parity;
  line.stopBits = stop;
  return {share, BitsPerCharacter(line) / line.baud};
}

TEST(PollScheduler, FirstRoundAtOnceThenEachModuleOncePerIntervalEvenlySpread) {
  PollScheduler s({1, 2, 3, 4}, 8s, LineBudget{0.2, 0});  // UDP: no line to protect
  const Clock::time_point t0{};
  const auto polls = Simulate(s, t0, 8s * 3 + 1ms, 30);
  // The first round goes at once, one poll after the other.
  ASSERT_GE(polls.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(polls[i].module, i + 1);
    EXPECT_EQ(polls[i].at, t0 + i * 1ms);
  }
  // Then every 2 s, in address order: each module every 8 s.
  std::map<int, std::vector<Clock::time_point>> byModule;
  for (std::size_t i = 4; i < polls.size(); ++i) {
    EXPECT_EQ(polls[i].at - polls[i - 1].at, 2s) << i;
    EXPECT_EQ(polls[i].module, polls[i - 1].module % 4 + 1);
    byModule[polls[i].module].push_back(polls[i].at);
  }
  for (const auto& [module, times] : byModule)
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 8s) << module;
  EXPECT_EQ(s.Round(30), 8s);
}

TEST(PollScheduler, ASerialLineIsNeverOccupiedBeyondTheBudget) {
  // 32 modules every second would need far more than 20 % of 9600 baud:
  // the rounds stretch instead.
  for (const double share : {0.2, 0.05, 1.0}) {
    std::vector<int> modules;
    for (int m = 1; m <= 32; ++m) modules.push_back(m);
    const LineBudget budget = Serial9600(share);
    PollScheduler s(modules, 1s, budget);
    const int bytes = 9 + 18;  // a ReadStatus request and its reply with 8 status bytes
    const Clock::time_point t0{};
    const auto polls = Simulate(s, t0, 60s, bytes);
    // Line time of the polls within every window of 10 s, against the share.
    const double lineSecondsPerPoll = bytes * 10.0 / 9600;
    for (Clock::time_point from = t0; from + 10s <= t0 + 60s; from += 1s) {
      int inWindow = 0;
      for (const Poll& p : polls) inWindow += p.at >= from && p.at < from + 10s;
      EXPECT_LE(inWindow * lineSecondsPerPoll, share * 10.0 + lineSecondsPerPoll) << "share " << share;
    }
    // ... and uses it: the polls are as close as the budget allows.
    const auto gap = std::chrono::duration<double>(polls.back().at - polls[polls.size() - 2].at).count();
    EXPECT_NEAR(gap, std::max(lineSecondsPerPoll / share, 1.0 / 32), 1e-6) << "share " << share;
    EXPECT_EQ(s.Round(bytes), std::max(std::chrono::duration_cast<Clock::duration>(budget.Gap(bytes)),
                                       Clock::duration(1s) / 32) * 32);
  }
}

TEST(PollScheduler, BitsPerCharacterCountStartParityAndStopBits) {
  EXPECT_DOUBLE_EQ(Serial9600(0.2).secondsPerByte, 10.0 / 9600);
  EXPECT_DOUBLE_EQ(Serial9600(0.2, "even", "2").secondsPerByte, 12.0 / 9600);
  EXPECT_DOUBLE_EQ(Serial9600(0.2, "odd", "1.5").secondsPerByte, 11.5 / 9600);
  // 27 bytes at 10 bits on 9600 baud are 28.1 ms; at 20 % polls go 140.6 ms apart.
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::microseconds>(Serial9600(0.2).Gap(27)).count(), 140625);
  EXPECT_EQ((LineBudget{0.2, 0}.Gap(27)), Clock::duration::zero());
}

TEST(PollScheduler, StartingAgainBeginsAFreshFirstRound) {
  PollScheduler s({5, 6, 7}, 30s, LineBudget{0.2, 0});
  const Clock::time_point t0{};
  s.Start(t0);
  s.Polled(t0, 20);  // 5
  EXPECT_EQ(s.Due(t0), 6);
  s.Start(t0 + 1s);  // the link came back
  EXPECT_TRUE(s.FirstRound());
  EXPECT_EQ(s.Due(t0 + 1s), 5);
  EXPECT_FALSE(s.Due(t0));

  PollScheduler none({}, 10s, LineBudget{});
  none.Start(t0);
  EXPECT_FALSE(none.Due(t0 + 1h));
  EXPECT_EQ(none.NextDue(), Clock::time_point::max());
}

}  // namespace
}  // namespace veltra::bridge
