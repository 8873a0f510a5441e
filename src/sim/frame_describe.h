#pragma once
// Readable one-line descriptions of requests and replies for the simulator's
// log: form, subnet, address, command name, parameters, and the bytes.
#include <string>

#include "sim/sim_bus.h"

namespace veltra {

// "SetScene", "On", "SendCode"... of a request class and command; "Class 5
// Command 1" when the pair has no name.
std::string CommandName(int cls, int command);

// "routed subnet 1 addr 1 Light On [00 FF]"
std::string DescribeRequest(const SimRequest& request);

// "routed subnet 1 addr 1 ReadStatus reply OK! [01 01 00 ...]", or a note
// that the bytes are not a frame.
std::string DescribeReply(const SimFrame& reply, FrameForm form);

}  // namespace veltra
