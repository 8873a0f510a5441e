#pragma once
// A bus scan on a request session: each request waits for its reply or the
// session's time-out before the next goes out. For the command-line tool and
// the benchmarks; the window drives BusScan from its event loop instead.
#include <atomic>
#include <functional>

#include "link/request_session.h"
#include "scan/bus_scan.h"

namespace veltra {

// Runs the scan to its end, or until stop is set (checked before every
// request). onStep sees the scan after every request. Throws LinkError when
// the link fails or is not open.
void RunScan(BusScan& scan, RequestSession& session, const Addressing& addressing,
             const std::atomic<bool>* stop = nullptr, const std::function<void(const BusScan&)>& onStep = {});

}  // namespace veltra
