#include "scan/scan_session.h"

namespace veltra {

void RunScan(BusScan& scan, const AskRequest& ask, const Addressing& addressing, const std::atomic<bool>* stop,
             const std::function<void(const BusScan&)>& onStep) {
  while (!scan.Finished()) {
    if (stop && stop->load()) {
      scan.Stop();
      break;
    }
    const ExchangeResult e = ask(scan.Build(addressing));
    if (e.interrupted) {
      // The address asked is not done.
      scan.Stop();
      break;
    }
    if (e.outcome == ExchangeOutcome::NotSent) throw LinkError("the link is not open: request not sent");
    if (e.outcome == ExchangeOutcome::Refused) throw LinkError("the link no longer takes data");
    if (e.outcome == ExchangeOutcome::Answered) {
      scan.Replied(e.decoded, std::chrono::duration<double, std::milli>(e.roundTrip).count());
    } else {
      scan.TimedOut();
    }
    if (onStep) onStep(scan);
  }
}

}  // namespace veltra
