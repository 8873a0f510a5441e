#pragma once
// "Set", "Clear" and "Test" of the Scene Control tab's "Set Scene " group.
#include <array>
#include <cstdint>
#include <string>

#include "protocol/request_writer.h"

namespace veltra {

inline constexpr int kChannelCount = 8;
inline constexpr int kNoChangeItem = 2;  // third item of "CH1 :" .. "CH8 :"
// Ranges of "Scene No. :" and of "Module Addr. :" in the "Set Scene " group,
// and so of the scene table's "Scene No" and "Module Addr".
inline constexpr int kSceneNoMin = 0;
inline constexpr int kSceneNoMax = 50;
inline constexpr int kSceneModuleMin = 1;
inline constexpr int kSceneModuleMax = 32;

// Item index of a channel list -> byte sent: OFF 0, ON 1, No Change 255.
std::uint8_t ChannelByte(int itemIndex);
// Item index -> code stored in the scene table: "0", "1" or "X".
std::string ChannelCode(int itemIndex);

// SetScene with the first `outputs` channels (the "Outputs :" field).
void BuildSetScene(TransmitBuffer& buffer, const Addressing& addressing, int module, int scene,
                   int outputs, const std::array<int, kChannelCount>& channelItems);
void BuildClearScene(TransmitBuffer& buffer, const Addressing& addressing, int module, int scene);
// TestScene goes to every module.
void BuildTestScene(TransmitBuffer& buffer, const Addressing& addressing, int scene);

}  // namespace veltra
