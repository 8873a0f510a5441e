#include "scan/scan_session.h"

namespace veltra {

void RunScan(BusScan& scan, RequestSession& session, const Addressing& addressing, const std::atomic<bool>* stop,
             const std::function<void(const BusScan&)>& onStep) {
  while (!scan.Finished()) {
    if (stop && stop->load()) {
      scan.Stop();
      break;
    }
    TransmitBuffer buffer{};
    scan.Build(buffer, addressing);
    const Exchange e = session.Request(buffer);
    if (e.transmit == TransmitStatus::NotOpen) throw LinkError("the link is not open: request not sent");
    if (e.transmit == TransmitStatus::Refused) throw LinkError("the link no longer takes data");
    if (e.outcome == SendOutcome::Replied)
      scan.Replied(e.decoded, e.roundTripMs);
    else
      scan.TimedOut();
    if (onStep) onStep(scan);
  }
}

}  // namespace veltra
