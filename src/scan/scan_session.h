#pragma once
// A bus scan on an exchange: each request waits for its answer or the
// time-out before the next goes out. For the command-line tool and the
// benchmarks; the window drives BusScan from its event loop instead.
#include <atomic>
#include <functional>

#include "link/exchange.h"
#include "scan/bus_scan.h"

namespace veltra {

// Sends one request and waits for its answer (an Exchange's Request, or a
// caller's that also logs it).
using AskRequest = std::function<ExchangeResult(PreparedRequest)>;

// Runs the scan to its end, or until stop is set (checked before every
// request) or a request is interrupted (the link's stop). onStep sees the scan after every request. Throws LinkError when
// the link fails or is not open.
void RunScan(BusScan& scan, const AskRequest& ask, const Addressing& addressing,
             const std::atomic<bool>* stop = nullptr, const std::function<void(const BusScan&)>& onStep = {});

}  // namespace veltra
