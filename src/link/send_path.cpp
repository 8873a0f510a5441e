#include "link/send_path.h"

#include "protocol/frame.h"

namespace veltra {

SendResult SendDataDeal(TransmitBuffer& buffer, Link& link, RequestLog& log) {
  CompleteFrame(buffer.data());
  const int length = buffer[2];
  log.AppendLog(FormatSendLine(buffer.data(), length, log.LogMasked()));
  SendResult result;
  result.request.assign(buffer.begin(), buffer.begin() + length);
  result.sentAt = std::chrono::steady_clock::now();
  result.transmit = link.Transmit(result.request);
  return result;
}

}  // namespace veltra
