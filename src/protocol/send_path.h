#pragma once
// The single exit of every request: complete the frame, log it, transmit it
// on the given link and, when asked, wait there for one reply.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "link/link.h"
#include "protocol/log_format.h"
#include "protocol/transmit_buffer.h"

namespace veltra {

// Where the send path writes its line: the monitor log.
class RequestLog {
 public:
  virtual ~RequestLog() = default;
  // Hidden "公开版" box: log the marker "X" instead of the bytes.
  virtual bool LogMasked() const = 0;
  virtual void AppendLog(const std::string& utf8Line) = 0;
};

enum class SendOutcome {
  Sent,     // transmitted; no wait was asked for
  Replied,  // transmitted, and something came back within the time-out
  NoReply,  // transmitted, nothing came back within the time-out
  NotSent,  // the link is not open or no longer takes data
};

// What became of one request.
struct SendResult {
  SendOutcome outcome = SendOutcome::NotSent;
  TransmitStatus transmit = TransmitStatus::NotOpen;
  Bytes request;               // the completed frame as transmitted
  std::optional<Bytes> reply;  // the first unit received, whatever it holds
  std::chrono::steady_clock::time_point sentAt;  // handed to the link
  std::chrono::nanoseconds roundTrip{};          // sentAt to the reply's arrival
};

// Completes the frame in the buffer, logs it, transmits it and, with
// awaitReply, waits the link's own time-out for one received unit. Link
// failures throw LinkError after the line was logged.
SendResult SendDataDeal(TransmitBuffer& buffer, Link& link, RequestLog& log, bool awaitReply);

}  // namespace veltra
