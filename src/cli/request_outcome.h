#pragma once
// What became of one request, in the tool's terms: its exit status, the
// words for a request without an answer, and the failures of the link that
// end a command at once.
#include <string>

#include "cli/global_options.h"
#include "link/exchange.h"

namespace veltra::cli {

// 0 for the status OK, 3 for an error status, 4 without a valid reply.
int ExitFor(const ExchangeResult& exchange);

// "no reply within 500 ms", or "reply not a valid frame (13 bytes: 55 AA
// …); the line settings (--baud, ...) may not match the module's" when
// something came that was no frame.
std::string NoAnswerText(const ExchangeResult& exchange, const LinkOptions& options);

// Throws LinkError for the outcomes that mean the link failed: not sent, no
// longer taking data, a serial line that hung up while the request waited.
// An exchange the stop ended is none of these.
void ThrowIfLinkFailed(const ExchangeResult& exchange, Link& link);

// Waits up to ms for the stop; true when it was raised.
bool StoppedWithin(StopSignal* stop, int ms);

// "4 requests" / "1 request".
std::string Counted(std::size_t n, const std::string& one, const std::string& many);

}  // namespace veltra::cli
