// A stop raised from another thread (the tool's Ctrl+C) ends a request's
// wait on either link well before its time-out, and nothing goes out after
// it; a datagram that finds no listener is a refusal, not a silence.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/loopback_socket.h"
#include "link/exchange.h"
#include "link/serial_link.h"
#include "link/udp_link.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct QuietLog : RequestLog {
  bool LogMasked() const override { return true; }
  void AppendLog(const std::string&) override {}
};

PreparedRequest AskType(int address, FrameForm form) {
  RequestValues values;
  values.ints["ADDR"] = address;
  return PrepareRequest(Request(RequestId::ReadModuleType), values, {form, 1});
}

// Raises the stop after a while, from its own thread.
std::thread RaiseLater(StopSignal& stop, int reason) {
  return std::thread([&stop, reason] {
    std::this_thread::sleep_for(100ms);
    stop.Raise(reason);
  });
}

// The request went out, its wait ended long before its 20 s time-out, and
// the next request is not sent at all.
void ExpectInterrupted(Exchange& exchange, FrameForm form, StopSignal& stop) {
  exchange.timeoutMs = 20000;
  std::thread raise = RaiseLater(stop, 15);
  const auto start = Clock::now();
  const ExchangeResult waited = exchange.Request(AskType(1, form));
  raise.join();
  EXPECT_EQ(waited.outcome, ExchangeOutcome::NoReply);
  EXPECT_TRUE(waited.interrupted);
  EXPECT_TRUE(waited.sent);
  EXPECT_FALSE(waited.frame.empty());
  EXPECT_LT(Clock::now() - start, 10s) << "woken by the stop, not by the time-out";
  EXPECT_EQ(stop.Reason(), 15);

  const ExchangeResult next = exchange.Request(AskType(2, form));
  EXPECT_EQ(next.outcome, ExchangeOutcome::NotSent);
  EXPECT_TRUE(next.interrupted);
  EXPECT_FALSE(next.sent);
  EXPECT_TRUE(next.frame.empty());
}

TEST(Stop, EndsTheWaitOnTheUdpLinkAndSendsNothingAfter) {
  test::LoopbackSocket silent;
  StopSignal stop;
  UdpLink link;
  link.Open("127.0.0.1", silent.port(), 0);
  link.WatchStop(&stop);
  QuietLog log;
  Exchange exchange(link, log);
  ExpectInterrupted(exchange, FrameForm::Routed, stop);
  EXPECT_FALSE(silent.Receive(100).empty()) << "the first request";
  EXPECT_TRUE(silent.Receive(100).empty()) << "and nothing after the stop";
}

TEST(Stop, EndsTheWaitOnTheSerialLineAndSendsNothingAfter) {
  test::Pty line;
  ASSERT_TRUE(line.ok());
  StopSignal stop;  // outlives the link that watches it
  SerialLink link;
  SerialSettings settings;
  settings.device = line.path();
  link.Configure(settings);
  link.SetFraming(FrameForm::Direct);
  link.Open();
  link.WatchStop(&stop);
  QuietLog log;
  Exchange exchange(link, log);
  ExpectInterrupted(exchange, FrameForm::Direct, stop);
  EXPECT_EQ(line.Receive(8, 1s).size(), 8u) << "the first request";
  EXPECT_TRUE(line.Receive(1, 200ms).empty()) << "and nothing after the stop";
  EXPECT_TRUE(link.Flush(5000)) << "a flush does not wait once stopped";
}

TEST(Stop, ARaisedStopWakesWatchersOnceAndKeepsItsFirstReason) {
  StopSignal stop;
  int woken = 0;
  const int id = stop.Watch([&woken] { ++woken; });
  EXPECT_FALSE(stop.Raised());
  stop.Raise(2);
  stop.Raise(15);
  EXPECT_TRUE(stop.Raised());
  EXPECT_EQ(stop.Reason(), 2);
  EXPECT_EQ(woken, 1);
  int late = 0;
  stop.Watch([&late] { ++late; });
  EXPECT_EQ(late, 1) << "a watcher that comes after the stop is woken at once";
  stop.Unwatch(id);
}

TEST(Refusal, ADatagramToAPortWithoutListenerIsRefusedWhenAskedFor) {
  int closed = 0;
  {
    test::LoopbackSocket gone;
    closed = gone.port();
  }
  UdpLink link;
  link.SetReportRefusals(true);
  link.Open("127.0.0.1", closed, 0);
  const std::uint8_t frame[] = {0x55, 0xAA, 0x0A, 0, 1, 1, 0, 6, 0x54, 0xBB};
  ASSERT_EQ(link.Transmit(frame), TransmitStatus::Sent);
  try {
    link.Receive(2000);
    FAIL() << "no refusal";
  } catch (const LinkError& error) {
    EXPECT_EQ(std::string(error.what()), "connection refused by 127.0.0.1:" + std::to_string(closed));
    EXPECT_EQ(error.code(), ECONNREFUSED);
    EXPECT_EQ(error.reason(), "Connection refused");
  }
  // Without the report, the same is a silence; a listener's reply still comes.
  UdpLink plain;
  plain.Open("127.0.0.1", closed, 0);
  ASSERT_EQ(plain.Transmit(frame), TransmitStatus::Sent);
  EXPECT_FALSE(plain.Receive(200));
  test::LoopbackSocket peer;
  link.Open("127.0.0.1", peer.port(), 0);
  ASSERT_EQ(link.Transmit(frame), TransmitStatus::Sent);
  sockaddr_in from{};
  ASSERT_FALSE(peer.Receive(1000, &from).empty());
  peer.SendTo(from, {1, 2, 3});
  const auto unit = link.Receive(1000);
  ASSERT_TRUE(unit);
  EXPECT_EQ(unit->bytes, (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace veltra
