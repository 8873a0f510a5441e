#include "scenes/scene_commands.h"

#include <stdexcept>
#include <vector>

#include "protocol/command_numbers.h"

namespace veltra {
namespace {
using namespace system_command;
}  // namespace

std::uint8_t ChannelByte(int itemIndex) {
  return itemIndex == kNoChangeItem ? kFiller : Low8(itemIndex);
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

void BuildSetScene(TransmitBuffer& buffer, const Addressing& addressing, int module, int scene,
                   int outputs, const std::array<int, kChannelCount>& channelItems) {
  // "Outputs :" is 1 to 8 on the window; anything outside still yields a
  // frame that fits the buffer.
  const int n = outputs < 0 ? 0 : (outputs > kChannelCount ? kChannelCount : outputs);
  std::vector<int> parameters{scene};
  for (int k = 0; k < n; ++k) parameters.push_back(ChannelByte(channelItems[static_cast<std::size_t>(k)]));
  WriteRequest(buffer, addressing, module, ClassSystem, SetScene, parameters);
}

void BuildClearScene(TransmitBuffer& buffer, const Addressing& addressing, int module, int scene) {
  WriteRequest(buffer, addressing, module, ClassSystem, ClearScene, {scene});
}

void BuildTestScene(TransmitBuffer& buffer, const Addressing& addressing, int scene) {
  WriteRequest(buffer, addressing, kFiller, ClassSystem, TestScene, {kFiller, scene});
}

}  // namespace veltra
