#pragma once
// Which received frame answers which request. A reply carries the request's
// class with bit 7 set and the request's command; its Address is the
// request's, except for a request to every module or to the module in
// programming mode (address 255), which any address may answer; in the
// routed form its Subnet ID is the request's, except for the broadcast to
// every bus switch (subnet FFFF). Over UDP the reply must come from the host
// and port the request went to, except for that broadcast.
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/command_catalogue.h"
#include "protocol/frame.h"

namespace veltra {

struct ExpectedReply {
  std::uint8_t cls = 0;  // the request's class with the reply bit
  std::uint8_t command = 0;
  std::optional<std::uint8_t> address;  // empty: any address answers
  std::optional<std::uint16_t> subnet;  // routed replies; empty: any subnet
  FrameForm form = FrameForm::Routed;   // the form the reply arrives in
  bool anySender = false;               // UDP: any host may answer
};

// What answers the request in `frame` (a request of `spec`, built in
// `requestForm`; spec null or a raw frame: told from the bytes alone) when
// replies arrive in `replyForm`.
ExpectedReply ExpectReply(const RequestSpec* spec, std::span<const std::uint8_t> frame, FrameForm requestForm,
                          FrameForm replyForm);

// Whether a frame that passed the acceptance test answers the request.
// Frames too short to carry a Status answer nothing.
bool AnswersRequest(const ExpectedReply& expected, std::span<const std::uint8_t> frame);

}  // namespace veltra
