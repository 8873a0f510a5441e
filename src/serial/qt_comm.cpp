#include "serial/qt_comm.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <mutex>

namespace veltra {

namespace {

QEvent::Type CommEventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class CommEvent final : public QEvent {
 public:
  explicit CommEvent(CommMessage m) : QEvent(CommEventType()), message(std::move(m)) {}
  CommMessage message;  // a block not delivered is released with the event
};

// Posts from the serial threads to the receiver. The receiver is detached
// under the lock before it is destroyed, so no post can reach a dead object;
// Qt drops the events still queued for it when it goes, releasing their
// blocks.
class QtCommSink final : public CommNotificationSink {
 public:
  bool Post(CommMessage message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!receiver_) return false;
    QCoreApplication::postEvent(receiver_, new CommEvent(std::move(message)));
    return true;
  }
  void Attach(QObject* receiver) {
    std::lock_guard<std::mutex> lock(mutex_);
    receiver_ = receiver;
  }
  void Detach() { Attach(nullptr); }
  // Qt's event queue hands an event to the receiver's thread under a lock of
  // its own, which a thread checker cannot see into; taking the lock the
  // post was made under shows it that the event was complete before it is
  // read. One uncontended lock per event.
  void Received() { std::lock_guard<std::mutex> lock(mutex_); }

 private:
  std::mutex mutex_;
  QObject* receiver_ = nullptr;
};

// The hidden notification receiver: lives on the creating thread and raises
// the component's events from its event loop.
class CommReceiver final : public QObject {
 public:
  CommReceiver(TComm& comm, QtCommSink& sink) : comm_(comm), sink_(sink) {}

  bool event(QEvent* e) override {
    sink_.Received();
    if (e->type() != CommEventType()) return QObject::event(e);
    comm_.HandleNotification(std::move(static_cast<CommEvent*>(e)->message));
    return true;
  }

 private:
  TComm& comm_;
  QtCommSink& sink_;
};

class QtComm final : public TComm {
 public:
  explicit QtComm(const std::shared_ptr<QtCommSink>& sink)
      : TComm(sink), sink_(sink), receiver_(std::make_unique<CommReceiver>(*this, *sink)) {
    sink_->Attach(receiver_.get());
  }
  ~QtComm() override {
    ClosePort();
    sink_->Detach();
    receiver_.reset();
  }

 private:
  std::shared_ptr<QtCommSink> sink_;
  std::unique_ptr<CommReceiver> receiver_;
};

}  // namespace

std::unique_ptr<TComm> MakeQtComm() { return std::make_unique<QtComm>(std::make_shared<QtCommSink>()); }

}  // namespace veltra
