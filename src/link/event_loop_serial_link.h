#pragma once
// A serial link whose notifications come through the Qt event loop of the
// thread that creates it (the GUI thread): received data reaches onReceived
// from that loop, and Receive runs the loop while it waits.
#include <memory>

#include "link/serial_link.h"

namespace veltra {

std::unique_ptr<SerialLink> MakeEventLoopSerialLink();

}  // namespace veltra
