#include "protocol/transmit_buffer.h"

namespace veltra {

TransmitBuffer& ProcessTransmitBuffer() {
  static TransmitBuffer buffer{};
  return buffer;
}

}  // namespace veltra
