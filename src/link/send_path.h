#pragma once
// The single exit of every request: complete the frame, log it and hand it
// to the link. Waiting for the reply is the exchange's (link/exchange.h).
#include <chrono>
#include <cstdint>
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

// What became of one request's sending.
struct SendResult {
  TransmitStatus transmit = TransmitStatus::NotOpen;
  Bytes request;                                 // the completed frame as transmitted
  std::chrono::steady_clock::time_point sentAt;  // handed to the link
};

// Completes the frame in the buffer, logs it and transmits it. Link
// failures throw LinkError after the line was logged. A link that is not
// open is not asked: the line is "Not sent ：" and the result NotOpen.
SendResult SendDataDeal(TransmitBuffer& buffer, Link& link, RequestLog& log);

}  // namespace veltra
