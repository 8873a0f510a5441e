#include "sim/frame_describe.h"

#include <array>

#include "protocol/log_format.h"
#include "replies/reply_decoder.h"

namespace veltra {
namespace {

constexpr std::array<const char*, 11> kSystem{
    "SetAddress", "BindInput",  "SetScene",   "ClearScene", "TestScene", "ReadAddress",
    "ReadModuleType", "ReadVersion", "ReadStatus", "TestModule", "Restore"};
constexpr std::array<const char*, 7> kCurtain{"SetTravelTime", "Open",     "Close",  "Stop",
                                              "OpenAll",       "CloseAll", "StopAll"};
constexpr std::array<const char*, 6> kLight{"SetOnTime", "On", "Off", "Toggle", "AllOn", "AllOff"};
constexpr std::array<const char*, 5> kInfrared{"LearnOn", "LearnOff", "DeleteCode",
                                               "DeleteAllCodes", "SendCode"};

template <std::size_t N>
const char* Pick(const std::array<const char*, N>& names, int command) {
  return command >= 0 && command < static_cast<int>(N) ? names[command] : nullptr;
}

std::string Where(FrameForm form, int subnet, int address) {
  std::string text = form == FrameForm::Routed ? "routed subnet " + std::to_string(subnet) + " " : "direct ";
  return text + "addr " + std::to_string(address);
}

std::string Bytes(const std::uint8_t* bytes, std::size_t size) {
  std::string hex = HexText(bytes, static_cast<int>(size));
  if (!hex.empty()) hex.pop_back();
  return hex;
}

}  // namespace

std::string CommandName(int cls, int command) {
  const char* name = nullptr;
  if (cls == ClassSystem) name = Pick(kSystem, command);
  if (cls == ClassCurtain) name = Pick(kCurtain, command);
  if (cls == ClassLight) name = Pick(kLight, command);
  if (cls == ClassInfrared) name = Pick(kInfrared, command);
  if (name) return name;
  return "Class " + std::to_string(cls) + " Command " + std::to_string(command);
}

std::string DescribeRequest(const SimRequest& r) {
  std::string text = Where(r.form, r.subnet, r.address) + " " + CommandName(r.cls, r.command);
  if (!r.params.empty()) text += " [" + Bytes(r.params.data(), r.params.size()) + "]";
  return text;
}

std::string DescribeReply(const SimFrame& reply, FrameForm form) {
  const int at = AddressOffset(form);
  const std::string hex = Bytes(reply.data(), reply.size());
  if (reply.size() < static_cast<std::size_t>(FrameLength(form, 1)) || reply[0] != kHeader0 ||
      reply[1] != kHeader1 || reply[2] != reply.size()) {
    return "garbage: " + hex;
  }
  const std::uint16_t sum = FrameChecksum(reply.data(), reply[2]);
  if (reply[reply.size() - 2] != (sum >> 8) || reply.back() != (sum & 0xFF)) return "garbage: " + hex;
  const int subnet = form == FrameForm::Routed ? reply[3] * 256 + reply[4] : 0;
  std::string text = Where(form, subnet, reply[at]) + " " +
                     CommandName(reply[at + 1] & 0x7F, reply[at + 2]) + " reply " +
                     StatusWord(reply[at + 3]);
  const std::size_t params = at + 4;
  if (reply.size() - 2 > params) text += " [" + Bytes(reply.data() + params, reply.size() - 2 - params) + "]";
  return text + " | " + hex;
}

}  // namespace veltra
