// The reply decoder on arbitrary input, in both forms, with the log masked
// and not. Byte 0 chooses the form (bit 0: routed); the rest is the received
// chunk or datagram.
//
// Properties: a frame is taken exactly when the acceptance rules, computed
// here on their own, say so; masking changes the log line only; the line
// shows the bytes up to the (bounded) Length and the status word; an effect
// comes only from an OK reply of class 0x80; and nothing past the Length
// changes the outcome but the bus switch record, which sits at fixed offsets.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "replies/reply_decoder.h"

namespace {

using veltra::DecodedReply;
using veltra::FrameForm;
using veltra::fuzz::Require;

constexpr std::size_t kReceiveLimit = 78;  // a received Length above this counts as 78
constexpr std::size_t kDatagramLimit = 200;
constexpr std::size_t kDirectLooked = 201;  // bytes of a serial chunk the decoder reads
const std::string kRead = "Read \xEF\xBC\x9A";

DecodedReply Decode(FrameForm form, const std::uint8_t* data, std::size_t size, bool masked) {
  return form == FrameForm::Routed ? veltra::DecodeRouted(data, size, masked)
                                   : veltra::DecodeDirect(data, size, masked);
}

bool SameResult(const DecodedReply& a, const DecodedReply& b) {
  return a.effect == b.effect && a.statusBits == b.statusBits && a.moduleAddress == b.moduleAddress &&
         a.toBusSwitchFields == b.toBusSwitchFields && a.text == b.text && a.busSwitchRecord == b.busSwitchRecord;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const FrameForm form = (data[0] & 1) ? FrameForm::Routed : FrameForm::Direct;
  const std::uint8_t* chunk = data + 1;
  const std::size_t n = size - 1;

  const DecodedReply plain = Decode(form, chunk, n, false);
  const DecodedReply masked = Decode(form, chunk, n, true);
  Require(plain.logLine.has_value() == masked.logLine.has_value(), "masking changes whether a frame is taken");
  Require(SameResult(plain, masked), "masking changes what a reply does");
  Require(plain.logLine || plain.effect == veltra::ReplyEffect::None, "a dropped frame has an effect");

  // The receiver's working copy: the received bytes, zeros after them.
  std::array<std::uint8_t, kDirectLooked> work{};
  std::memcpy(work.data(), chunk, std::min(n, work.size()));
  // A Length above the limit is replaced by the limit before the checksum is
  // computed, so the sum counts the replaced byte.
  const std::size_t length = std::min<std::size_t>(work[2], kReceiveLimit);
  work[2] = static_cast<std::uint8_t>(length);
  const std::size_t shortest = form == FrameForm::Routed ? 11 : 9;
  const bool takes = n > 0 && !(form == FrameForm::Routed && n > kDatagramLimit) && work[0] == 0x55 &&
                     work[1] == 0xAA && length >= shortest && veltra::fuzz::ChecksumHolds(work.data(), length);
  Require(plain.logLine.has_value() == takes, "the decoder disagrees with the acceptance rules");
  if (!takes) return 0;

  const int at = veltra::AddressOffset(form);
  const std::uint8_t status = work[at + 3];
  const std::string word = std::string("  ") + veltra::StatusWord(status);
  Require(*masked.logLine == kRead + "X" + word, "masked log line");
  Require(*plain.logLine == kRead + veltra::fuzz::Hex(work.data(), length) + word,
          "log line is not the frame's bytes up to its Length");
  if (plain.effect != veltra::ReplyEffect::None)
    Require(status == 1 && work[at + 1] == 0x80, "an effect from a failed or non-system reply");

  const std::size_t p0 = static_cast<std::size_t>(at) + 4;
  switch (plain.effect) {
    case veltra::ReplyEffect::StatusBytes:
      Require(plain.statusBits.size() == (length >= p0 + 3 ? length - 3 - p0 : 0),
              "status bits beyond the reply's parameters");
      break;
    case veltra::ReplyEffect::Version:
      Require(plain.text.size() + p0 + 2 <= length && plain.text.find('\0') == std::string::npos,
              "version text past the parameters or holding a zero byte");
      break;
    case veltra::ReplyEffect::BusSwitchConfig:
      Require(form == FrameForm::Routed, "bus switch record from a direct frame");
      Require(std::equal(plain.busSwitchRecord.begin(), plain.busSwitchRecord.end(), work.begin() + 9),
              "bus switch record not taken from offsets 9 to 36");
      break;
    default:
      break;
  }

  // Nothing past the Length counts (the bus switch record alone sits at
  // fixed offsets whatever the Length says): the first Length bytes of the
  // working copy decode the same way.
  if (plain.effect == veltra::ReplyEffect::BusSwitchConfig) return 0;
  const DecodedReply cut = Decode(form, work.data(), length, false);
  Require(cut.logLine == plain.logLine && SameResult(cut, plain), "bytes past the Length change the outcome");
  return 0;
}
