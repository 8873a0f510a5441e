#pragma once
// The buffer a request is built in. Builders write Length and the fields
// after it; the send path writes the header and the checksum. Each request
// has a buffer of its own, owned by whoever builds it.
#include <array>
#include <cstdint>

#include "protocol/frame.h"

namespace veltra {

using TransmitBuffer = std::array<std::uint8_t, kTransmitBufferSize>;

}  // namespace veltra
