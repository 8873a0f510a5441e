#pragma once
// Scene channels: the items of "CH1 :" .. "CH8 :", the bytes a SetScene
// request carries for them and the codes the scene table keeps.
#include <cstdint>
#include <string>

#include "protocol/frame.h"

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
// Code "0", "1" or "X" (either case) -> item index; throws
// std::invalid_argument for anything else.
int ParseChannelCode(const std::string& code);

}  // namespace veltra
