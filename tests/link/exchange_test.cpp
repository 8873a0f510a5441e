// The exchange on real links: every result is its own request's, late and
// unrelated frames are reported apart, whatever waits on the link before a
// request is taken off first.
#include "link/exchange.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "bus_peer.h"
#include "link/serial_link.h"
#include "link/udp_link.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using test::DelayedBusPeer;
using test::LoopbackSocket;

struct LineLog : RequestLog {
  std::vector<std::string> lines;
  bool LogMasked() const override { return true; }
  void AppendLog(const std::string& line) override { lines.push_back(line); }
};

// Light modules 1..8 with 1..8 outputs: each answers "Read Module Type" with
// a type of its own, 0201 .. 0208.
std::vector<ModuleSetup> DistinctTypes() {
  std::vector<ModuleSetup> modules;
  for (int a = 1; a <= 8; ++a) modules.push_back({ModuleKind::Light, a, false, a});
  return modules;
}

PreparedRequest ReadType(int address, FrameForm form = FrameForm::Routed) {
  RequestValues values;
  values.ints["ADDR"] = address;
  return PrepareRequest(Request(RequestId::ReadModuleType), values, {form, 1});
}

struct UdpExchange {
  explicit UdpExchange(int peerPort, int timeoutMs = 100) {
    link.Open("127.0.0.1", peerPort, 0);
    exchange.timeoutMs = timeoutMs;
    exchange.listenForm = FrameForm::Routed;
    exchange.onUnmatched = [this](const UnmatchedFrame& frame) { unmatched.push_back(frame); };
  }
  UdpLink link;
  LineLog log;
  Exchange exchange{link, log};
  std::vector<UnmatchedFrame> unmatched;
};

TEST(Exchange, ALateReplyNeverAnswersTheNextRequest) {
  // Module 1 answers after 250 ms, module 2 at once; the wait is 100 ms.
  DelayedBusPeer peer(DistinctTypes(), [](const std::vector<std::uint8_t>& request) {
    return request[5] == 1 ? 250ms : 0ms;
  });
  UdpExchange u(peer.port());

  const ExchangeResult first = u.exchange.Request(ReadType(1));
  EXPECT_EQ(first.outcome, ExchangeOutcome::NoReply);
  EXPECT_TRUE(first.decoded.text.empty());

  std::this_thread::sleep_for(200ms);  // module 1's reply is on its way in
  const ExchangeResult second = u.exchange.Request(ReadType(2));
  ASSERT_EQ(second.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(second.decoded.text, "0202") << "module 2's own type";
  EXPECT_EQ(second.request.values["ADDR"], 2);
  EXPECT_LT(second.roundTrip, 100ms);

  ASSERT_EQ(u.unmatched.size(), 1u);
  const UnmatchedFrame& late = u.unmatched[0];
  EXPECT_EQ(late.kind, FrameVerdict::Late);
  ASSERT_TRUE(late.lateFor.has_value());
  EXPECT_EQ(late.lateFor->values["ADDR"], 1);
  EXPECT_EQ(late.decoded.text, "0201");
  ASSERT_TRUE(late.roundTrip.has_value());
  EXPECT_GE(*late.roundTrip, 240ms);
  EXPECT_EQ(late.logLine.rfind("Late reply: Read \xEF\xBC\x9AX  OK! (", 0), 0u) << late.logLine;
  // One "Send" line per request; replies are the caller's to log.
  EXPECT_EQ(u.log.lines.size(), 2u);
}

TEST(Exchange, OnlyTheHostTheRequestWentToAnswersIt) {
  LoopbackSocket busSwitch, stranger;
  UdpExchange u(busSwitch.port(), 300);
  const PreparedRequest request = ReadType(3);
  SimFrame reply = BuildReplyFrame(FrameForm::Routed, 1, 3, 0x80, 6, 1, {0x01, 0x04});
  std::thread far([&] {
    sockaddr_in from{};
    if (busSwitch.Receive(1000, &from).empty()) return;
    stranger.SendTo(from, reply);  // the right bytes from the wrong host
    std::this_thread::sleep_for(20ms);
    busSwitch.SendTo(from, {0x00, 0x55, 0xAA});  // not a frame
    std::this_thread::sleep_for(20ms);
    busSwitch.SendTo(from, reply);
  });
  const ExchangeResult result = u.exchange.Request(request);
  far.join();
  ASSERT_EQ(result.outcome, ExchangeOutcome::Answered);
  ASSERT_TRUE(result.reply.has_value());
  EXPECT_EQ(result.reply->from.port, busSwitch.port());
  EXPECT_EQ(result.decoded.text, "0104");
  EXPECT_EQ(result.status, kStatusOk);
  ASSERT_EQ(u.unmatched.size(), 1u) << "the stranger's datagram; the noise is not a frame";
  EXPECT_EQ(u.unmatched[0].kind, FrameVerdict::Unrelated);
  EXPECT_EQ(u.unmatched[0].unit.from.port, stranger.port());
  EXPECT_EQ(u.unmatched[0].logLine, "Unrelated frame: Read \xEF\xBC\x9AX  OK!");
}

TEST(Exchange, ABroadcastMayBeAnsweredByAnyHost) {
  LoopbackSocket sentTo, busSwitch;
  UdpExchange u(sentTo.port(), 300);
  const PreparedRequest read = PrepareRequest(Request(RequestId::BusSwitchRead), {}, {FrameForm::Routed, 1});
  std::thread far([&] {
    sockaddr_in from{};
    if (sentTo.Receive(1000, &from).empty()) return;
    TransmitBuffer frame = read.buffer;
    CompleteFrame(frame.data());
    SimBus bus;
    busSwitch.SendTo(from, bus.Handle(frame.data(), frame[2], SimLink::Udp).replies.at(0));
  });
  // The frame still needs its header and checksum: the exchange completes it.
  const ExchangeResult result = u.exchange.Request(read);
  far.join();
  ASSERT_EQ(result.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(result.decoded.effect, ReplyEffect::BusSwitchConfig);
}

TEST(Exchange, WhatWaitsBeforeARequestIsTakenOffAndReported) {
  LoopbackSocket peer;
  UdpExchange u(peer.port(), 60);
  // Nothing answers the first request; two frames arrive before the second.
  EXPECT_EQ(u.exchange.Request(ReadType(4)).outcome, ExchangeOutcome::NoReply);
  const int local = u.link.Client().BoundPort();
  peer.SendTo(local, BuildReplyFrame(FrameForm::Routed, 1, 4, 0x80, 6, 1, {0x02, 0x08}));  // late, for module 4
  peer.SendTo(local, BuildReplyFrame(FrameForm::Routed, 1, 9, 0x82, 1, 1, {}));            // answers nothing
  std::this_thread::sleep_for(30ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(u.exchange.Request(ReadType(4)).outcome, ExchangeOutcome::NoReply)
      << "the earlier request's reply is not this one's";
  EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
  ASSERT_EQ(u.unmatched.size(), 2u);
  EXPECT_EQ(u.unmatched[0].kind, FrameVerdict::Late);
  EXPECT_EQ(u.unmatched[1].kind, FrameVerdict::Unrelated);
}

TEST(Exchange, NotSentWhenTheLinkIsClosed) {
  UdpLink link;
  LineLog log;
  Exchange exchange(link, log);
  const ExchangeResult result = exchange.Request(ReadType(1));
  EXPECT_EQ(result.outcome, ExchangeOutcome::NotSent);
  EXPECT_EQ(log.lines.size(), 1u) << "the request is logged all the same";
  EXPECT_FALSE(exchange.Waiting());
}

// Random reply delays around the time-out: every result is its own
// request's reply or a clean "no reply"; replies that come too late are
// reported as late, never taken by a later request.
TEST(Exchange, PropertyEveryResultIsItsOwnRequestsOrNoReply) {
  std::mt19937 random(20261209);
  std::mutex randomMutex;
  DelayedBusPeer peer(DistinctTypes(), [&](const std::vector<std::uint8_t>&) {
    std::lock_guard lock(randomMutex);
    return std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 90)(random));
  });
  UdpExchange u(peer.port(), 45);
  int answered = 0, noReply = 0;
  for (int i = 0; i < 80; ++i) {
    int address;
    {
      std::lock_guard lock(randomMutex);
      address = std::uniform_int_distribution<int>(1, 10)(random);  // 9 and 10 are absent
    }
    const ExchangeResult r = u.exchange.Request(ReadType(address));
    if (r.outcome == ExchangeOutcome::Answered) {
      ++answered;
      ASSERT_LE(address, 8);
      EXPECT_EQ(r.decoded.text, "020" + std::to_string(address)) << "request " << i;
      ASSERT_TRUE(r.reply.has_value());
      EXPECT_EQ(r.reply->bytes[5], address);
    } else {
      ASSERT_EQ(r.outcome, ExchangeOutcome::NoReply);
      EXPECT_TRUE(r.decoded.text.empty());
      ++noReply;
    }
  }
  std::this_thread::sleep_for(120ms);
  u.exchange.Poll();
  // Every reply sent was either an answer or reported; none went unseen.
  EXPECT_EQ(peer.Sent(), answered + static_cast<int>(u.unmatched.size()));
  for (const UnmatchedFrame& f : u.unmatched) {
    EXPECT_EQ(f.kind, FrameVerdict::Late);
    ASSERT_TRUE(f.lateFor.has_value());
    EXPECT_EQ(f.decoded.text, "020" + std::to_string(f.lateFor->values["ADDR"]));
  }
  EXPECT_GT(answered, 10);
  EXPECT_GT(noReply, 10);
}

class SerialExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    SerialSettings settings;
    settings.device = pty.path();
    link.Configure(settings);
    link.SetFraming(FrameForm::Direct);
    link.Open();
    exchange.timeoutMs = 500;
    exchange.onUnmatched = [this](const UnmatchedFrame& frame) { unmatched.push_back(frame); };
  }
  // Plays the bus on the far end of the line: reads one request and answers
  // it as the simulated bus would.
  std::thread Answer(std::function<void(const SimFrame& reply)> before = {}) {
    return std::thread([this, before] {
      std::vector<std::uint8_t> request = pty.Receive(3, 2s);
      if (request.size() < 3) return;
      const auto rest = pty.Receive(request[2] - 3u, 2s);
      request.insert(request.end(), rest.begin(), rest.end());
      for (const SimFrame& reply : bus.Handle(request.data(), request.size(), SimLink::Serial).replies) {
        if (before) before(reply);
        pty.Send(reply);
      }
    });
  }

  test::Pty pty;
  SimBus bus;
  SerialLink link;
  LineLog log;
  Exchange exchange{link, log};
  std::vector<UnmatchedFrame> unmatched;
};

TEST_F(SerialExchange, BusSwitchRequestsAreReadInTheRoutedFormOnADirectLine) {
  std::thread far = Answer();
  const ExchangeResult r = exchange.Request(PrepareRequest(Request(RequestId::BusSwitchReadType), {}, {FrameForm::Direct, 1}));
  far.join();
  ASSERT_EQ(r.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(r.status, kStatusOk);
  EXPECT_EQ(r.decoded.statusWord, "OK!");
  EXPECT_EQ(r.decoded.text, "1001");
}

TEST_F(SerialExchange, OverheardFramesAreReportedAndChangeNothing) {
  // Another master's request and an error reply of another module pass on
  // the line before this request's own reply.
  std::thread far = Answer([this](const SimFrame&) {
    pty.Send(BuildReplyFrame(FrameForm::Direct, 0, 2, 0x02, 1, 0, {0xFF}));
    pty.Send(BuildReplyFrame(FrameForm::Direct, 0, 7, 0x80, 6, 6, {}));
  });
  const ExchangeResult r = exchange.Request(ReadType(1, FrameForm::Direct));
  far.join();
  ASSERT_EQ(r.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(r.decoded.text, "0208");
  ASSERT_EQ(unmatched.size(), 2u);
  EXPECT_EQ(unmatched[1].kind, FrameVerdict::Unrelated);
  EXPECT_EQ(unmatched[1].logLine, "Unrelated frame: Read \xEF\xBC\x9AX  Command error!");
}

}  // namespace
}  // namespace veltra
