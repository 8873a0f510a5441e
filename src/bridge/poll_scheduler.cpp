#include "bridge/poll_scheduler.h"

#include <algorithm>

namespace veltra::bridge {

std::chrono::nanoseconds LineBudget::Gap(int bytes) const {
  if (secondsPerByte <= 0 || share <= 0) return {};
  return std::chrono::nanoseconds(static_cast<std::int64_t>(bytes * secondsPerByte / share * 1e9));
}

PollScheduler::PollScheduler(std::vector<int> modules, Clock::duration interval, LineBudget budget)
    : modules_(std::move(modules)),
      slot_(modules_.empty() ? interval : interval / static_cast<int>(modules_.size())),
      budget_(budget) {}

void PollScheduler::Start(Clock::time_point now) {
  next_ = 0;
  firstRound_ = true;
  nextDue_ = modules_.empty() ? Clock::time_point::max() : now;
}

std::optional<int> PollScheduler::Due(Clock::time_point now) const {
  if (modules_.empty() || now < nextDue_) return std::nullopt;
  return modules_[next_];
}

void PollScheduler::Polled(Clock::time_point started, int bytes) {
  if (modules_.empty()) return;
  const Clock::duration gap = std::chrono::duration_cast<Clock::duration>(budget_.Gap(bytes));
  nextDue_ = started + std::max(firstRound_ ? Clock::duration::zero() : slot_, gap);
  if (++next_ == modules_.size()) {
    next_ = 0;
    if (firstRound_) {
      // The regular rounds start one slot after the first round's last poll.
      firstRound_ = false;
      nextDue_ = started + std::max(slot_, gap);
    }
  }
}

PollScheduler::Clock::duration PollScheduler::Round(int bytesPerPoll) const {
  const auto gap = std::chrono::duration_cast<Clock::duration>(budget_.Gap(bytesPerPoll));
  return std::max(slot_, gap) * static_cast<int>(modules_.size());
}

}  // namespace veltra::bridge
