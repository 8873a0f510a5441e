#pragma once
// The one buffer in which every request is built. Handlers write Length and
// the fields after it; the send path writes the header and the checksum.
// Bytes a request does not write keep the previous request's values.
#include <array>
#include <cstdint>

#include "protocol/frame.h"

namespace veltra {

using TransmitBuffer = std::array<std::uint8_t, kTransmitBufferSize>;

// Process-wide buffer, zero at start; main thread only.
TransmitBuffer& ProcessTransmitBuffer();

}  // namespace veltra
