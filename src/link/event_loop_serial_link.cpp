#include "link/event_loop_serial_link.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include "serial/qt_comm.h"

namespace veltra {
namespace {

// The silence timer, shared by the link's scheduler and its own timeout.
struct ExpiryTimer {
  QTimer timer;
  SerialLink* link = nullptr;
};

// The watch for the link's device (with recovery on): a notifier on the
// watcher's handle and a timer for the next look while the link is down,
// both calling CheckDevice.
struct DeviceTimers {
  // Parent of the notifiers: one let go of later (deleteLater) is deleted
  // with it at the latest, also when no event loop runs again.
  QObject owner;
  QTimer look;
  QSocketNotifier* readable = nullptr;
  int handle = -1;
  SerialLink* link = nullptr;

  void Schedule(int newHandle, std::optional<std::chrono::steady_clock::time_point> at) {
    if (newHandle != handle || !readable) {
      if (readable) {
        // Possibly called from this notifier's own activation: it goes once
        // that is over.
        readable->setEnabled(false);
        readable->deleteLater();
        readable = nullptr;
      }
      handle = newHandle;
      if (handle >= 0) {
        readable = new QSocketNotifier(handle, QSocketNotifier::Read, &owner);
        QObject::connect(readable, &QSocketNotifier::activated, [this] { link->CheckDevice(); });
      }
    }
    if (!at) {
      look.stop();
      return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*at - std::chrono::steady_clock::now());
    look.start(static_cast<int>(std::max<long long>(wait.count(), 0)));
  }
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

  auto device = std::make_shared<DeviceTimers>();
  device->look.setSingleShot(true);
  device->link = link.get();
  QObject::connect(&device->look, &QTimer::timeout, [device = device.get()] { device->link->CheckDevice(); });
  link->SetDeviceScheduler([device](int handle, std::optional<std::chrono::steady_clock::time_point> at) {
    device->Schedule(handle, at);
  });
  return link;
}

}  // namespace veltra
