#pragma once
// The single exit of every request: complete the frame, log it, transmit it
// on the selected link and, on the network link, wait for one reply.
#include <cstdint>
#include <string>

#include "protocol/transmit_buffer.h"

namespace veltra {

// What the send path needs from the window and the two links.
class RequestLinks {
 public:
  virtual ~RequestLinks() = default;
  // "TCP/IP " checked: network link; otherwise the serial link.
  virtual bool NetworkSelected() const = 0;
  // Hidden "公开版" box: log the marker "X" instead of the bytes.
  virtual bool LogMasked() const = 0;
  virtual void AppendLog(const std::string& utf8Line) = 0;
  // Network link; failures throw and end the operator's action.
  virtual void SendDatagram(const std::string& bytes) = 0;
  // -1 waits the client's configured time-out; empty when nothing came.
  virtual std::string ReceiveDatagram(int timeoutMs) = 0;
  // Routed reply decoder.
  virtual void ReceiveDeal(const std::string& bytes) = 0;
  // Serial link; false when not open (ignored by the send path).
  virtual bool WriteData(const std::uint8_t* bytes, std::uint16_t length) = 0;
};

inline constexpr const char* kSendPrefix = "Send \xEF\xBC\x9A";  // "Send ：" (U+FF1A)
inline constexpr const char* kReadPrefix = "Read \xEF\xBC\x9A";  // "Read ："

// Each byte as two upper-case hex digits and a blank ("55 AA 0A ").
std::string HexText(const std::uint8_t* bytes, int length);
// The monitor-log line of a request.
std::string FormatSendLine(const std::uint8_t* frame, int length, bool masked);

void SendDataDeal(TransmitBuffer& buffer, RequestLinks& links);

}  // namespace veltra
