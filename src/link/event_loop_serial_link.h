#pragma once
// A serial link whose notifications come through the Qt event loop of the
// thread that creates it (the GUI thread): frames reach the link's inbox
// from that loop, with its ready handler called, a timer gives up an
// incomplete frame after the line's silence, and Receive runs the loop while
// it waits.
#include <memory>

#include "link/serial_link.h"

namespace veltra {

std::unique_ptr<SerialLink> MakeEventLoopSerialLink();

}  // namespace veltra
