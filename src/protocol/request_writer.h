#pragma once
// Writes the Length and the fields after it for one request of either form.
#include <cstdint>
#include <initializer_list>
#include <span>

#include "protocol/frame.h"
#include "protocol/transmit_buffer.h"

namespace veltra {

// Which form a request takes and, for the routed form, its subnet.
struct Addressing {
  FrameForm form = FrameForm::Direct;
  int subnet = 0;  // low 16 bits are sent, high byte first
};

// Routed when "TCP/IP " or the hidden "Monitor" box is checked.
inline Addressing ChooseAddressing(bool tcpIpSelected, bool monitorChecked, int subnet) {
  return {(tcpIpSelected || monitorChecked) ? FrameForm::Routed : FrameForm::Direct, subnet};
}

// Writes Length, [Subnet ID], Address, Class, Command and the parameters
// (each as its low 8 bits). Returns the Length written.
int WriteRequest(TransmitBuffer& buffer, const Addressing& addressing, int address, int cls,
                 int command, std::span<const int> parameters);
int WriteRequest(TransmitBuffer& buffer, const Addressing& addressing, int address, int cls,
                 int command, std::initializer_list<int> parameters);

inline std::uint8_t Low8(int value) { return static_cast<std::uint8_t>(value & 0xFF); }
inline std::uint8_t High8(int value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }

}  // namespace veltra
