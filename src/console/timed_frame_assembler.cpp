#include "console/timed_frame_assembler.h"

#include <algorithm>
#include <chrono>

namespace veltra {

TimedFrameAssembler::TimedFrameAssembler(FrameHandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  expiry_.setSingleShot(true);
  expiry_.setTimerType(Qt::PreciseTimer);
  connect(&expiry_, &QTimer::timeout, this, &TimedFrameAssembler::Expire);
}

void TimedFrameAssembler::Feed(FrameForm form, const std::uint8_t* bytes, std::size_t size) {
  assembler_.SetForm(form);
  Hand(assembler_.Feed(bytes, size, FrameAssembler::Clock::now()));
}

void TimedFrameAssembler::Clear() {
  assembler_.Clear();
  expiry_.stop();
}

void TimedFrameAssembler::Expire() { Hand(assembler_.Expire(FrameAssembler::Clock::now())); }

void TimedFrameAssembler::Hand(const std::vector<FrameAssembler::Frame>& frames) {
  // The timer is set for what waits now, before a handler runs: one that
  // opens a modal box lets more bytes in meanwhile.
  if (const auto due = assembler_.ExpiryTime()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - FrameAssembler::Clock::now());
    expiry_.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())));
  } else {
    expiry_.stop();
  }
  const FrameForm form = assembler_.Form();
  for (const FrameAssembler::Frame& frame : frames) handler_(form, frame);
}

}  // namespace veltra
