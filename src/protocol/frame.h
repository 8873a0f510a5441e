#pragma once
// Wire format of a bus frame: 55 AA, Length, [Subnet ID hi lo], Address,
// Class, Command, parameters, Checksum hi lo. The same layout carries requests
// and replies; replies put a Status byte after Command.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltra {

enum class FrameForm { Direct, Routed };

// A frame, or any run of bytes from a link.
using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kHeader0 = 0x55;
inline constexpr std::uint8_t kHeader1 = 0xAA;
inline constexpr std::size_t kTransmitBufferSize = 200;
inline constexpr std::uint8_t kMaxSendLength = 200;
inline constexpr std::uint8_t kMaxReceiveLength = 78;
inline constexpr std::uint16_t kChecksumMask = 0x55AA;

// Command classes of requests, and the class a system-class reply carries.
inline constexpr std::uint8_t ClassSystem = 0;
inline constexpr std::uint8_t ClassCurtain = 1;
inline constexpr std::uint8_t ClassLight = 2;
inline constexpr std::uint8_t ClassInfrared = 3;
inline constexpr std::uint8_t ClassSystemReply = 0x80;

// Filler for every address, output or parameter position that does not apply.
inline constexpr std::uint8_t kFiller = 0xFF;

// Sum of bytes 0 .. length-3, XORed with 0x55AA. Lengths below 3 sum nothing.
std::uint16_t FrameChecksum(const std::uint8_t* bytes, int length);

// Finishes a request in place: header, Length bounded to 200, checksum at
// Length-2 / Length-1. The buffer must hold kTransmitBufferSize bytes.
void CompleteFrame(std::uint8_t* buffer);

// Acceptance test on a zero-filled working copy of a received frame (at least
// kMaxReceiveLength bytes): header, Length clamped to 78 in place, checksum.
bool AcceptFrame(std::uint8_t* copy);

// Offsets of the fields that follow Length, by form.
constexpr int AddressOffset(FrameForm form) { return form == FrameForm::Routed ? 5 : 3; }
constexpr int ClassOffset(FrameForm form) { return AddressOffset(form) + 1; }
constexpr int CommandOffset(FrameForm form) { return AddressOffset(form) + 2; }
constexpr int FirstParameterOffset(FrameForm form) { return AddressOffset(form) + 3; }
// Length of a frame of this form with n parameter bytes.
constexpr int FrameLength(FrameForm form, int parameters) {
  return (form == FrameForm::Routed ? 10 : 8) + parameters;
}
// Shortest reply of a form: Address, Class, Command, Status and the checksum.
// A received frame shorter than this carries no reply.
constexpr int MinReplyLength(FrameForm form) { return FrameLength(form, 1); }

}  // namespace veltra
