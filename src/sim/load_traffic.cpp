#include "sim/load_traffic.h"

#include "protocol/command_catalogue.h"
#include "protocol/command_numbers.h"

namespace veltra {
namespace {

SimFrame RequestFrame(RequestId id, std::map<std::string, int, std::less<>> ints, FrameForm form, int subnet) {
  RequestValues values;
  values.ints = std::move(ints);
  PreparedRequest request = PrepareRequest(Request(id), values, {form, subnet});
  CompleteFrame(request.buffer.data());
  return SimFrame(request.buffer.begin(), request.buffer.begin() + request.buffer[2]);
}

}  // namespace

LoadTraffic::LoadTraffic(FrameForm form, int subnet, std::vector<int> addresses, int badEvery)
    : form_(form), subnet_(subnet), addresses_(std::move(addresses)), badEvery_(badEvery) {
  if (addresses_.empty()) addresses_.push_back(1);
}

SimFrame LoadTraffic::Next() {
  const std::uint64_t k = count_++;
  const std::uint64_t round = k / kCycle;
  const int address = addresses_[round % addresses_.size()];
  const int output = static_cast<int>(round % 8) + 1;
  SimFrame frame;
  switch (k % kCycle) {
    case 0: frame = RequestFrame(RequestId::ReadStatus, {{"ADDR", address}}, form_, subnet_); break;
    case 1: {
      std::vector<std::uint8_t> states{1};
      for (int i = 0; i < 8; ++i) states.push_back(static_cast<std::uint8_t>((round >> i) & 1));
      frame = BuildReplyFrame(form_, subnet_, address, ClassSystemReply, system_command::ReadStatus, kStatusOk, states);
      break;
    }
    case 2:
      frame = RequestFrame(RequestId::LightOn, {{"ADDR", address}, {"OUTPUT", output}}, form_, subnet_);
      break;
    case 3: frame = BuildReplyFrame(form_, subnet_, address, ClassLight | 0x80, light_command::On, kStatusOk, {}); break;
    case 4: frame = RequestFrame(RequestId::ReadModuleType, {{"ADDR", address}}, form_, subnet_); break;
    default:
      frame = BuildReplyFrame(form_, subnet_, address, ClassSystemReply, system_command::ReadModuleType, kStatusOk,
                              {0x02, 0x08});
      break;
  }
  if (badEvery_ > 0 && count_ % static_cast<std::uint64_t>(badEvery_) == 0) frame.back() ^= 0x5A;
  return frame;
}

std::vector<int> LoadAddresses(const std::vector<SimModule>& modules) {
  std::vector<int> addresses;
  for (const SimModule& m : modules)
    if (m.address > 0) addresses.push_back(m.address);
  return addresses;
}

}  // namespace veltra
