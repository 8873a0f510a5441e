#pragma once
// Readable one-line descriptions of requests and replies for the simulator's
// log: form, subnet, address, command name, parameters, and the bytes.
#include <string>

#include "sim/sim_bus.h"

namespace veltra {

// The catalogue's name of a request class and command ("SetScene", "On",
// "SendCode"...); "Class 5 Command 1" when the pair has no name.
std::string DescribeCommand(int cls, int command);

// "routed subnet 1 addr 1 Light On [00 FF]"
std::string DescribeRequest(const SimRequest& request);

// "routed subnet 1 addr 1 ReadStatus reply OK! [01 01 00 ...]", or a note
// that the bytes are not a frame.
std::string DescribeReply(const SimFrame& reply, FrameForm form);

}  // namespace veltra
