// TComm whose notifications are delivered through the Qt event loop of the
// thread that creates it: its events run there, in posting order.
#pragma once

#include <memory>

#include "serial/comm.h"

namespace veltra {

// Create on the thread whose event loop should raise the events (the GUI
// thread). Notifications already posted when ClosePort returns are still
// delivered; destroying the component drops those not yet delivered. Do not
// destroy the component from inside one of its own event handlers.
std::unique_ptr<TComm> MakeQtComm();

}  // namespace veltra
