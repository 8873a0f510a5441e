// The Qt notification receiver: events run on the creating thread, in
// posting order, also after ClosePort, and nothing breaks when the component
// goes with events still queued.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

#include "pty_fixture.h"
#include "serial/qt_comm.h"

namespace veltra {
namespace {

using test::Pattern;
using test::Pty;

bool ProcessUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 3000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

TEST(QtComm, EventsArriveOnTheCreatingThreadInOrder) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  auto comm = MakeQtComm();
  comm->SetCommName(pty.path());
  std::vector<std::string> log;
  std::vector<std::uint8_t> received;
  bool offThread = false;
  QThread* const creator = QThread::currentThread();
  comm->OnSendDataEmpty = [&](TComm&) {
    offThread |= QThread::currentThread() != creator;
    log.push_back("empty");
  };
  comm->OnReceiveData = [&](TComm&, const std::uint8_t* b, std::uint16_t n) {
    offThread |= QThread::currentThread() != creator;
    log.push_back("data");
    received.insert(received.end(), b, b + n);
  };
  comm->OpenPort();
  ASSERT_TRUE(ProcessUntil([&] { return !log.empty(); }));
  EXPECT_EQ(log.front(), "empty");

  // A stream longer than one block comes as several events; their order is
  // the order of the bytes.
  const auto stream = Pattern(5000, 21);
  ASSERT_TRUE(pty.Send(stream));
  ASSERT_TRUE(ProcessUntil([&] { return received.size() >= stream.size(); }));
  EXPECT_EQ(received, stream);
  EXPECT_GE(log.size(), 4u);  // empty + at least three blocks
  EXPECT_FALSE(offThread);
  comm->ClosePort();
}

TEST(QtComm, EventsPostedBeforeCloseAreDeliveredAfterIt) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  auto comm = MakeQtComm();
  comm->SetCommName(pty.path());
  std::vector<std::uint8_t> received;
  comm->OnReceiveData = [&](TComm&, const std::uint8_t* b, std::uint16_t n) {
    received.insert(received.end(), b, b + n);
  };
  comm->OpenPort();
  const auto data = Pattern(12, 22);
  ASSERT_TRUE(pty.Send(data));
  QThread::msleep(400);  // burst ends after 100 ms; not delivered: no event loop ran
  comm->ClosePort();
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(ProcessUntil([&] { return !received.empty(); }));
  EXPECT_EQ(received, data);
}

TEST(QtComm, DestroyingTheComponentWithEventsQueuedIsSafe) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  bool called = false;
  {
    auto comm = MakeQtComm();
    comm->SetCommName(pty.path());
    comm->OnReceiveData = [&](TComm&, const std::uint8_t*, std::uint16_t) { called = true; };
    comm->OnSendDataEmpty = [&](TComm&) { called = true; };
    comm->OpenPort();
    ASSERT_TRUE(pty.Send(Pattern(20, 23)));
    QThread::msleep(300);
  }  // destroyed open, with its events still queued
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace veltra
