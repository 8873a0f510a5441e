#include "protocol/send_path.h"

#include "protocol/frame.h"

namespace veltra {

SendResult SendDataDeal(TransmitBuffer& buffer, Link& link, RequestLog& log, bool awaitReply) {
  using Clock = std::chrono::steady_clock;
  CompleteFrame(buffer.data());
  const int length = buffer[2];
  log.AppendLog(FormatSendLine(buffer.data(), length, log.LogMasked()));
  SendResult result;
  result.request.assign(buffer.begin(), buffer.begin() + length);
  result.sentAt = Clock::now();
  result.transmit = link.Transmit(result.request);
  if (result.transmit != TransmitStatus::Sent) return result;
  if (!awaitReply) {
    result.outcome = SendOutcome::Sent;
    return result;
  }
  result.reply = link.Receive(-1);
  result.roundTrip = Clock::now() - result.sentAt;
  result.outcome = result.reply ? SendOutcome::Replied : SendOutcome::NoReply;
  return result;
}

}  // namespace veltra
