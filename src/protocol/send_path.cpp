#include "protocol/send_path.h"

#include "protocol/frame.h"

namespace veltra {

std::string HexText(const std::uint8_t* bytes, int length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(static_cast<std::size_t>(length) * 3);
  for (int i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    text += ' ';
  }
  return text;
}

std::string FormatSendLine(const std::uint8_t* frame, int length, bool masked) {
  return std::string(kSendPrefix) + (masked ? std::string("X") : HexText(frame, length));
}

void SendDataDeal(TransmitBuffer& buffer, RequestLinks& links) {
  CompleteFrame(buffer.data());
  const int length = buffer[2];
  links.AppendLog(FormatSendLine(buffer.data(), length, links.LogMasked()));
  if (links.NetworkSelected()) {
    links.SendDatagram(std::string(reinterpret_cast<const char*>(buffer.data()),
                                   static_cast<std::size_t>(length)));
    const std::string reply = links.ReceiveDatagram(-1);
    if (!reply.empty()) links.ReceiveDeal(reply);
  } else {
    links.WriteData(buffer.data(), static_cast<std::uint16_t>(length));
  }
}

}  // namespace veltra
