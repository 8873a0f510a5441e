#include "protocol/request_writer.h"

namespace veltra {

int WriteRequest(TransmitBuffer& buffer, const Addressing& addressing, int address, int cls,
                 int command, std::span<const int> parameters) {
  const int length = FrameLength(addressing.form, static_cast<int>(parameters.size()));
  int at = 2;
  buffer[at++] = Low8(length);
  if (addressing.form == FrameForm::Routed) {
    buffer[at++] = High8(addressing.subnet);
    buffer[at++] = Low8(addressing.subnet);
  }
  buffer[at++] = Low8(address);
  buffer[at++] = Low8(cls);
  buffer[at++] = Low8(command);
  for (int p : parameters) {
    if (at >= static_cast<int>(buffer.size()) - 2) break;  // never past the checksum slot
    buffer[at++] = Low8(p);
  }
  return length;
}

int WriteRequest(TransmitBuffer& buffer, const Addressing& addressing, int address, int cls,
                 int command, std::initializer_list<int> parameters) {
  return WriteRequest(buffer, addressing, address, cls, command,
                      std::span<const int>(parameters.begin(), parameters.size()));
}

}  // namespace veltra
