#include "link/send_path.h"

#include "protocol/frame.h"

namespace veltra {

SendResult SendDataDeal(TransmitBuffer& buffer, Link& link, RequestLog& log) {
  CompleteFrame(buffer.data());
  const int length = buffer[2];
  SendResult result;
  result.request.assign(buffer.begin(), buffer.begin() + length);
  // A link that is not open takes nothing: the line says so.
  if (!link.IsOpen()) {
    log.AppendLog(FormatNotSentLine(buffer.data(), length, log.LogMasked()));
    result.sentAt = std::chrono::steady_clock::now();
    return result;
  }
  log.AppendLog(FormatSendLine(buffer.data(), length, log.LogMasked()));
  result.sentAt = std::chrono::steady_clock::now();
  result.transmit = link.Transmit(result.request);
  return result;
}

}  // namespace veltra
