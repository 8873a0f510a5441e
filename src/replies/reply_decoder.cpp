#include "replies/reply_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "protocol/command_numbers.h"
#include "protocol/log_format.h"

namespace veltra {
namespace {

using namespace system_command;

// Work buffers: received bytes at the start, zeros after them.
constexpr std::size_t kDirectWorkSize = 201;
constexpr std::size_t kRoutedWorkSize = 200;

DecodedReply Decode(std::uint8_t* work, FrameForm form, bool masked) {
  DecodedReply result;
  if (!AcceptFrame(work)) return result;
  const int length = work[2];
  if (length < MinReplyLength(form)) return result;  // dropped like any invalid one

  const int at = AddressOffset(form);
  const std::uint8_t address = work[at];
  const std::uint8_t cls = work[at + 1];
  const std::uint8_t command = work[at + 2];
  const std::uint8_t status = work[at + 3];
  const int p0 = at + 4;

  result.statusWord = StatusWord(status);
  result.logLine = FormatReadLine(work, length, masked, result.statusWord);
  if (status != kStatusOk || cls != ClassSystemReply) return result;

  const bool routed = form == FrameForm::Routed;
  if (command == ReadStatus) {
    if (work[p0] != 1) return result;
    result.effect = ReplyEffect::StatusBytes;
    for (int i = p0 + 1; i <= length - 3; ++i) result.statusBits.push_back((work[i] & 1) != 0);
  } else if (command == ReadAddress) {
    if (routed && work[3] == 0xFF && work[4] == 0xFF && work[5] == 0xFF) {
      result.effect = ReplyEffect::BusSwitchConfig;
      // The record sits at fixed offsets 9 .. 36 whatever the Length says;
      // bytes past the received data read as zero from the work buffer.
      std::memcpy(result.busSwitchRecord.data(), work + 9, kBusSwitchRecordSize);
    } else {
      result.effect = ReplyEffect::ModuleAddress;
      result.moduleAddress = work[p0];
    }
  } else if (command == ReadModuleType) {
    result.effect = ReplyEffect::ModuleType;
    result.toBusSwitchFields = routed && address == 0xFF;
    result.text = HexText(work + p0, 2);
    result.text.erase(std::remove(result.text.begin(), result.text.end(), ' '), result.text.end());
  } else if (command == ReadVersion) {
    result.effect = ReplyEffect::Version;
    result.toBusSwitchFields = routed && address == 0xFF;
    for (int i = p0; i <= length - 3 && work[i] != 0; ++i) result.text += static_cast<char>(work[i]);
  } else if (command == SetScene) {
    result.effect = ReplyEffect::SaveScene;
  } else if (command == ClearScene) {
    result.effect = ReplyEffect::DeleteModuleScenes;
  }
  return result;
}

}  // namespace

DecodedReply DecodeDirect(const std::uint8_t* data, std::size_t size, bool masked) {
  if (size == 0) return {};
  std::array<std::uint8_t, kDirectWorkSize> work{};
  // Only the first frame of a chunk is decoded; bytes past the work buffer
  // can never be part of it (a received Length counts at most 78).
  std::memcpy(work.data(), data, std::min(size, work.size()));
  return Decode(work.data(), FrameForm::Direct, masked);
}

DecodedReply DecodeRouted(const std::uint8_t* data, std::size_t size, bool masked) {
  if (size == 0 || size > kMaxRoutedInput) return {};
  std::array<std::uint8_t, kRoutedWorkSize> work{};
  std::memcpy(work.data(), data, size);
  return Decode(work.data(), FrameForm::Routed, masked);
}

}  // namespace veltra
