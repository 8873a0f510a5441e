#include "protocol/frame.h"

namespace veltra {

std::uint16_t FrameChecksum(const std::uint8_t* bytes, int length) {
  std::uint32_t sum = 0;
  for (int i = 0; i <= length - 3; ++i) sum += bytes[i];
  return static_cast<std::uint16_t>((sum & 0xFFFF) ^ kChecksumMask);
}

void CompleteFrame(std::uint8_t* buffer) {
  buffer[0] = kHeader0;
  buffer[1] = kHeader1;
  if (buffer[2] > kMaxSendLength) buffer[2] = kMaxSendLength;
  const int length = buffer[2];
  // A Length below 2 would put the checksum in front of the buffer; such a
  // frame is never built, but the buffer must never be written out of range.
  if (length < 2) return;
  const std::uint16_t sum = FrameChecksum(buffer, length);
  buffer[length - 2] = static_cast<std::uint8_t>(sum >> 8);
  buffer[length - 1] = static_cast<std::uint8_t>(sum & 0xFF);
}

bool AcceptFrame(std::uint8_t* copy) {
  if (copy[0] != kHeader0 || copy[1] != kHeader1) return false;
  if (copy[2] > kMaxReceiveLength) copy[2] = kMaxReceiveLength;
  const int length = copy[2];
  // With Length 0 or 1 the checksum would sit before the frame; such frames
  // cannot carry a reply and the decoder rejects them by length anyway.
  if (length < 2) return false;
  const std::uint16_t sum = FrameChecksum(copy, length);
  return copy[length - 2] == (sum >> 8) && copy[length - 1] == (sum & 0xFF);
}

}  // namespace veltra
