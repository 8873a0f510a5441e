#include "link/event_loop_serial_link.h"

#include <QEventLoop>
#include <QTimer>

#include "serial/qt_comm.h"

namespace veltra {
namespace {

// The silence timer, shared by the link's scheduler and its own timeout.
struct ExpiryTimer {
  QTimer timer;
  SerialLink* link = nullptr;
};

}  // namespace

std::unique_ptr<SerialLink> MakeEventLoopSerialLink() {
  auto expiry = std::make_shared<ExpiryTimer>();
  expiry->timer.setSingleShot(true);
  auto link = std::make_unique<SerialLink>(
      MakeQtComm(),
      [](int timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.processEvents(QEventLoop::WaitForMoreEvents);
      },
      [expiry](std::optional<std::chrono::steady_clock::time_point> at) {
        if (!at) {
          expiry->timer.stop();
          return;
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*at - std::chrono::steady_clock::now());
        expiry->timer.start(static_cast<int>(std::max<long long>(wait.count(), 0)));
      });
  expiry->link = link.get();
  QObject::connect(&expiry->timer, &QTimer::timeout, [expiry = expiry.get()] { expiry->link->ExpireFrames(); });
  return link;
}

}  // namespace veltra
