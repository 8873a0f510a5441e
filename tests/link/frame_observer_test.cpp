// The links' observers: what became of every frame, as the exchange and the
// serial line tell it (sent, the answer and its round trip, late, unrelated,
// not a frame, noise skipped, no reply), while the tap still sees the bytes
// exactly as before.
#include <gtest/gtest.h>

#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "bus_peer.h"
#include "link/exchange.h"
#include "link/serial_link.h"
#include "link/udp_link.h"

namespace veltra {
namespace {
namespace observer_test {

using namespace std::chrono_literals;

struct Seen {
  ObservedKind kind;
  Bytes bytes;
  LinkEndpoint peer;
  LineTiming line;
  FrameForm form;
  std::optional<std::chrono::nanoseconds> roundTrip;
  std::size_t skipped;
  std::chrono::system_clock::time_point at;
};

struct Observer : FrameObserver {
  std::vector<Seen> seen;
  void OnObserved(const ObservedFrame& f) override {
    seen.push_back({f.kind, Bytes(f.bytes.begin(), f.bytes.end()), f.peer, f.line, f.form, f.roundTrip,
                    f.skippedBytes, f.at});
  }
  std::vector<ObservedKind> Kinds() const {
    std::vector<ObservedKind> kinds;
    for (const Seen& s : seen) kinds.push_back(s.kind);
    return kinds;
  }
};

struct Tap : FrameTap {
  std::vector<FrameDirection> directions;
  void OnFrame(const FrameTrace& frame) override { directions.push_back(frame.direction); }
};

struct Log : RequestLog {
  bool LogMasked() const override { return true; }
  void AppendLog(const std::string&) override {}
};

PreparedRequest ReadType(int address, FrameForm form) {
  RequestValues values;
  values.ints["ADDR"] = address;
  return PrepareRequest(Request(RequestId::ReadModuleType), values, {form, 1});
}

TEST(FrameObserver, TheExchangeTellsWhatBecameOfEveryFrameOverUdp) {
  // Module 1 answers after 250 ms, module 2 at once; the wait is 100 ms.
  test::DelayedBusPeer peer({{ModuleKind::Light, 1, false, 8}, {ModuleKind::Light, 2, false, 8}},
                            [](const Bytes& request) { return request[5] == 1 ? 250ms : 0ms; });
  UdpLink link;
  link.Open("127.0.0.1", peer.port(), 0);
  Observer observer;
  Tap tap;
  link.SetObserver(&observer);
  link.SetTap(&tap);
  Log log;
  Exchange exchange(link, log);
  exchange.timeoutMs = 100;
  exchange.listenForm = FrameForm::Routed;

  const auto start = std::chrono::system_clock::now();
  const ExchangeResult first = exchange.Request(ReadType(1, FrameForm::Routed));
  ASSERT_EQ(first.outcome, ExchangeOutcome::NoReply);
  std::this_thread::sleep_for(200ms);
  const ExchangeResult second = exchange.Request(ReadType(2, FrameForm::Routed));
  ASSERT_EQ(second.outcome, ExchangeOutcome::Answered);

  using K = ObservedKind;
  ASSERT_EQ(observer.Kinds(), (std::vector<K>{K::Sent, K::NoReply, K::Late, K::Sent, K::Answer}));
  const auto& s = observer.seen;
  EXPECT_EQ(s[0].bytes, first.frame);
  EXPECT_EQ(s[1].bytes, first.frame) << "no reply names the request";
  EXPECT_GE(s[1].at - s[0].at, 100ms);
  EXPECT_EQ(s[3].bytes, second.frame);
  EXPECT_EQ(s[4].bytes, second.reply->bytes);
  ASSERT_TRUE(s[2].roundTrip && s[4].roundTrip);
  EXPECT_GE(*s[2].roundTrip, 240ms);
  EXPECT_EQ(*s[4].roundTrip, second.roundTrip);
  EXPECT_FALSE(s[0].roundTrip || s[1].roundTrip || s[3].roundTrip);
  for (const Seen& seen : s) {
    EXPECT_EQ(seen.peer.address, "127.0.0.1");
    EXPECT_EQ(seen.peer.port, peer.port());
    EXPECT_EQ(seen.form, FrameForm::Routed);
    EXPECT_EQ(seen.line.baud, 0u);
    EXPECT_GE(seen.at, start);
  }
  // The tap sees the bytes as before: two requests out, two replies in.
  using D = FrameDirection;
  EXPECT_EQ(tap.directions, (std::vector<D>{D::Sent, D::Received, D::Sent, D::Received}));
}

TEST(FrameObserver, UdpFramesThatAnswerNothingAndBytesThatAreNone) {
  test::LoopbackSocket busSwitch, stranger;
  UdpLink link;
  link.Open("127.0.0.1", busSwitch.port(), 0);
  Observer observer;
  link.SetObserver(&observer);
  Log log;
  Exchange exchange(link, log);
  exchange.timeoutMs = 300;
  exchange.listenForm = FrameForm::Routed;
  Bytes broken = BuildReplyFrame(FrameForm::Routed, 1, 3, 0x80, 6, 1, {0x01, 0x04});
  broken.back() ^= 0xFF;
  std::thread far([&] {
    sockaddr_in from{};
    if (busSwitch.Receive(1000, &from).empty()) return;
    stranger.SendTo(from, BuildReplyFrame(FrameForm::Routed, 1, 3, 0x80, 6, 1, {0x01, 0x04}));
    busSwitch.SendTo(from, broken);
  });
  const ExchangeResult result = exchange.Request(ReadType(3, FrameForm::Routed));
  far.join();
  EXPECT_EQ(result.outcome, ExchangeOutcome::NoReply);
  using K = ObservedKind;
  ASSERT_EQ(observer.Kinds(), (std::vector<K>{K::Sent, K::Unrelated, K::NotAFrame, K::NoReply}));
  EXPECT_EQ(observer.seen[1].peer.port, stranger.port()) << "the sender, not the bus switch";
  EXPECT_EQ(observer.seen[2].bytes, broken);
}

TEST(FrameObserver, TheSerialLineTellsOfNoiseAndFramesWithABadChecksum) {
  test::Pty pty;
  ASSERT_TRUE(pty.ok());
  SerialLink link;
  SerialSettings settings;
  settings.device = pty.path();
  settings.baudRate = 19200;
  settings.parity = TParity::Even;
  link.Configure(settings);
  link.SetFraming(FrameForm::Direct);
  Observer observer;
  link.SetObserver(&observer);
  link.Open();
  Log log;
  Exchange exchange(link, log);

  const Bytes heard = BuildReplyFrame(FrameForm::Direct, 0, 5, 0x80, 5, 1, {0x05});
  Bytes broken = BuildReplyFrame(FrameForm::Direct, 0, 6, 0x80, 5, 1, {0x06});
  broken[broken.size() - 2] ^= 0x10;
  Bytes line{0x00, 0x13};
  line.insert(line.end(), broken.begin(), broken.end());
  line.insert(line.end(), heard.begin(), heard.end());
  ASSERT_TRUE(pty.Send(line));
  for (int i = 0; i < 100 && observer.seen.size() < 3; ++i) {
    exchange.Poll();
    std::this_thread::sleep_for(10ms);
  }

  using K = ObservedKind;
  ASSERT_EQ(observer.Kinds(), (std::vector<K>{K::NotAFrame, K::Noise, K::Unrelated}));
  EXPECT_EQ(observer.seen[0].bytes, broken);
  EXPECT_EQ(observer.seen[1].skipped, 2 + broken.size()) << "the stray bytes and the broken frame";
  EXPECT_TRUE(observer.seen[1].bytes.empty());
  EXPECT_EQ(observer.seen[2].bytes, heard);
  for (const Seen& seen : observer.seen) {
    EXPECT_EQ(seen.peer.address, pty.path());
    EXPECT_EQ(seen.peer.port, 0);
    EXPECT_EQ(seen.line.baud, 19200u);
    EXPECT_EQ(seen.line.bitsPerByte, 11) << "8 data bits, even parity, 1 stop bit";
    EXPECT_EQ(seen.form, FrameForm::Direct);
  }
}

TEST(FrameObserver, LineTimingCountsEveryBitOfACharacter) {
  SerialLink link;
  struct Case {
    TByteSize data;
    TParity parity;
    TStopBits stop;
    int bits;
  };
  for (const Case& c : {Case{TByteSize::_8, TParity::None, TStopBits::_1, 10},
                        Case{TByteSize::_8, TParity::Odd, TStopBits::_2, 12},
                        Case{TByteSize::_7, TParity::Mark, TStopBits::_1, 10},
                        Case{TByteSize::_5, TParity::None, TStopBits::_1_5, 8}}) {
    link.Port().SetByteSize(c.data);
    link.Port().SetParity(c.parity);
    link.Port().SetStopBits(c.stop);
    EXPECT_EQ(link.Timing().bitsPerByte, c.bits);
  }
}

}  // namespace observer_test
}  // namespace
}  // namespace veltra
