#include "sim/frame_describe.h"

#include "protocol/command_catalogue.h"
#include "protocol/log_format.h"
#include "replies/reply_decoder.h"

namespace veltra {
namespace {

std::string Where(FrameForm form, int subnet, int address) {
  std::string text = form == FrameForm::Routed ? "routed subnet " + std::to_string(subnet) + " " : "direct ";
  return text + "addr " + std::to_string(address);
}

std::string HexOf(const std::uint8_t* bytes, std::size_t size) {
  std::string hex = HexText(bytes, static_cast<int>(size));
  if (!hex.empty()) hex.pop_back();
  return hex;
}

}  // namespace

std::string DescribeCommand(int cls, int command) {
  if (cls >= 0 && cls < 0x80 && command >= 0 && command <= 0xFF)
    if (const std::string_view name = CommandName(static_cast<std::uint8_t>(cls), static_cast<std::uint8_t>(command));
        !name.empty())
      return std::string(name);
  return "Class " + std::to_string(cls) + " Command " + std::to_string(command);
}

std::string DescribeRequest(const SimRequest& r) {
  std::string text = Where(r.form, r.subnet, r.address) + " " + DescribeCommand(r.cls, r.command);
  if (!r.params.empty()) text += " [" + HexOf(r.params.data(), r.params.size()) + "]";
  return text;
}

std::string DescribeReply(const SimFrame& reply, FrameForm form) {
  const int at = AddressOffset(form);
  const std::string hex = HexOf(reply.data(), reply.size());
  if (reply.size() < static_cast<std::size_t>(FrameLength(form, 1)) || reply[0] != kHeader0 ||
      reply[1] != kHeader1 || reply[2] != reply.size()) {
    return "garbage: " + hex;
  }
  const std::uint16_t sum = FrameChecksum(reply.data(), reply[2]);
  if (reply[reply.size() - 2] != (sum >> 8) || reply.back() != (sum & 0xFF)) return "garbage: " + hex;
  const int subnet = form == FrameForm::Routed ? reply[3] * 256 + reply[4] : 0;
  std::string text = Where(form, subnet, reply[at]) + " " +
                     DescribeCommand(reply[at + 1] & 0x7F, reply[at + 2]) + " reply " +
                     StatusWord(reply[at + 3]);
  const std::size_t params = at + 4;
  if (reply.size() - 2 > params) text += " [" + HexOf(reply.data() + params, reply.size() - 2 - params) + "]";
  return text + " | " + hex;
}

}  // namespace veltra
