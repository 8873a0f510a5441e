#include "sim/reply_shaper.h"

namespace veltra {

SimFrame MakeGarbage(const SimFrame& reply, GarbageKind kind, std::uint32_t seed) {
  SimFrame bytes = reply;
  switch (kind) {
    case GarbageKind::BadChecksum:
      if (!bytes.empty()) bytes.back() ^= 0x01;
      break;
    case GarbageKind::BadHeader:
      if (bytes.size() >= 2) bytes[1] = 0xAB;
      break;
    case GarbageKind::Truncated:
      // The Length still counts the whole frame: the checksum is looked for
      // where nothing arrived.
      bytes.resize(bytes.size() / 2);
      break;
    case GarbageKind::Noise: {
      std::uint32_t state = seed * 2654435761u + 12345u;
      bytes.assign(1 + seed % 16, 0);
      for (std::size_t i = 1; i < bytes.size(); ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(state >> 16);
      }
      break;  // byte 0 stays 00: never a header
    }
  }
  return bytes;
}

ReplyShaper::Outcome ReplyShaper::Shape(const SimFrame& reply) {
  ++count_;
  if (faults_.dropEvery > 0 && count_ % faults_.dropEvery == 0) return {};
  if (faults_.garbageEvery > 0 && count_ % faults_.garbageEvery == 0) {
    const auto kind = static_cast<GarbageKind>(garbageCount_ % 4);
    return {MakeGarbage(reply, kind, garbageCount_++), true};
  }
  return {reply, false};
}

}  // namespace veltra
