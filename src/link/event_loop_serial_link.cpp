#include "link/event_loop_serial_link.h"

#include <QEventLoop>
#include <QTimer>

#include "serial/qt_comm.h"

namespace veltra {

std::unique_ptr<SerialLink> MakeEventLoopSerialLink() {
  return std::make_unique<SerialLink>(MakeQtComm(), [](int timeoutMs) {
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.processEvents(QEventLoop::WaitForMoreEvents);
  });
}

}  // namespace veltra
