#include "protocol/reply_match.h"

namespace veltra {
namespace {

constexpr std::uint8_t kReplyBit = 0x80;
constexpr std::uint16_t kEverySubnet = 0xFFFF;

}  // namespace

ExpectedReply ExpectReply(const RequestSpec* spec, std::span<const std::uint8_t> frame, FrameForm requestForm,
                          FrameForm replyForm) {
  ExpectedReply expected;
  expected.form = replyForm;
  const std::size_t at = static_cast<std::size_t>(AddressOffset(requestForm));
  if (frame.size() < at + 3) return expected;
  const std::uint8_t address = frame[at];
  expected.cls = static_cast<std::uint8_t>(frame[at + 1] | kReplyBit);
  expected.command = frame[at + 2];
  const bool routed = requestForm == FrameForm::Routed;
  const std::uint16_t subnet = routed ? static_cast<std::uint16_t>(frame[3] << 8 | frame[4]) : 0;

  const Target target = spec ? spec->target : Target::AsFramed;
  switch (target) {
    case Target::Module:
      expected.address = address;
      break;
    case Target::BusSwitch:
      expected.address = kFiller;
      break;
    case Target::AllModules:
    case Target::ProgrammingMode:
    case Target::EveryBusSwitch:
      break;
    case Target::AsFramed:
      if (address != kFiller) expected.address = address;
      break;
  }
  const bool everyBusSwitch = target == Target::EveryBusSwitch || (routed && subnet == kEverySubnet);
  expected.anySender = everyBusSwitch;
  // A direct request says nothing of the subnet its routed reply names.
  if (routed && replyForm == FrameForm::Routed && !everyBusSwitch) expected.subnet = subnet;
  return expected;
}

bool AnswersRequest(const ExpectedReply& expected, std::span<const std::uint8_t> frame) {
  const int at = AddressOffset(expected.form);
  if (frame.size() < static_cast<std::size_t>(MinReplyLength(expected.form)) || frame[2] < MinReplyLength(expected.form))
    return false;
  if (frame[static_cast<std::size_t>(at + 1)] != expected.cls) return false;
  if (frame[static_cast<std::size_t>(at + 2)] != expected.command) return false;
  if (expected.address && frame[static_cast<std::size_t>(at)] != *expected.address) return false;
  if (expected.subnet && (frame[3] << 8 | frame[4]) != *expected.subnet) return false;
  return true;
}

}  // namespace veltra
