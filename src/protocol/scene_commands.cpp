#include "protocol/scene_commands.h"

#include <stdexcept>

namespace veltra {

std::uint8_t ChannelByte(int itemIndex) {
  return itemIndex == kNoChangeItem ? kFiller : static_cast<std::uint8_t>(itemIndex & 0xFF);
}

std::string ChannelCode(int itemIndex) {
  return itemIndex == kNoChangeItem ? std::string("X") : std::to_string(itemIndex);
}

int ParseChannelCode(const std::string& text) {
  if (text == "0") return 0;
  if (text == "1") return 1;
  if (text == "X" || text == "x") return kNoChangeItem;
  throw std::invalid_argument("a scene channel is 0, 1 or X, not " + text);
}

}  // namespace veltra
