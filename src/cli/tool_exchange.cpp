#include "cli/tool_exchange.h"

#include "link/serial_link.h"

namespace veltra::cli {

ToolExchange::ToolExchange(Link& link, const LinkOptions& options, bool masked, Printer print)
    : form_(options.Form()), masked_(masked), print_(std::move(print)), exchange_(link, *this) {
  exchange_.timeoutMs = options.timeoutMs;
  exchange_.listenForm = form_;
  exchange_.onUnmatched = [this](const UnmatchedFrame& frame) {
    if (!frame.logLine.empty()) AppendLog(frame.logLine);
    if (heard) heard(frame);
  };
}

void ToolExchange::AppendLog(const std::string& line) {
  if (print_) print_(line);
}

ExchangeResult ToolExchange::Request(const RequestSpec& spec, RequestValues values, int subnet) {
  return Request(PrepareRequest(spec, std::move(values), {form_, subnet}));
}

ExchangeResult ToolExchange::Request(PreparedRequest request) {
  auto* serial = dynamic_cast<SerialLink*>(&exchange_.link());
  if (serial) serial->TakeSkippedBytes();  // earlier noise is not this request's
  ExchangeResult result = exchange_.Request(std::move(request));
  if (serial && result.outcome == ExchangeOutcome::NoReply && !result.notAFrame) {
    Bytes noise = serial->TakeSkippedBytes();
    if (!noise.empty()) result.notAFrame = ReceivedUnit{std::move(noise), {}, std::chrono::steady_clock::now()};
  }
  if (result.outcome == ExchangeOutcome::Answered && result.decoded.logLine) AppendLog(*result.decoded.logLine);
  return result;
}

}  // namespace veltra::cli
