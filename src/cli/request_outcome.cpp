#include "cli/request_outcome.h"

#include <poll.h>

#include <chrono>
#include <thread>

#include "cli/result_output.h"
#include "link/serial_link.h"

namespace veltra::cli {

int ExitFor(const ExchangeResult& e) {
  if (e.outcome == ExchangeOutcome::Answered) return e.status == kStatusOk ? 0 : 3;
  return 4;
}

std::string NoAnswerText(const ExchangeResult& e, const LinkOptions& o) {
  if (!e.notAFrame) return "no reply within " + std::to_string(o.timeoutMs) + " ms";
  return "reply not a valid frame (" + BytesPreview(e.notAFrame->bytes) + "); " +
         (o.Udp() ? "the bus switch's line settings may not match the modules'"
                  : "the line settings (--baud, --data-bits, --parity, --stop-bits) may not match the module's");
}

void ThrowIfLinkFailed(const ExchangeResult& e, Link& link) {
  if (e.interrupted) return;  // not the link's failure
  if (e.outcome == ExchangeOutcome::NotSent) throw LinkError("the link is not open: request not sent");
  if (e.outcome == ExchangeOutcome::Refused) throw LinkError("the serial line no longer takes data");
  const auto* serial = dynamic_cast<const SerialLink*>(&link);
  if (e.outcome == ExchangeOutcome::NoReply && serial && serial->HungUp())
    throw LinkError("the serial line hung up");
}

bool StoppedWithin(StopSignal* stop, int ms) {
  if (!stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (stop->Raised()) return true;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd wait{stop->Handle(), POLLIN, 0};
    ::poll(&wait, 1, static_cast<int>(left));
  }
}

std::string Counted(std::size_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace veltra::cli
