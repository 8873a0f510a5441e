// What a history row keeps of an observation (the columns it is searched
// by, and what counts as a failure) and how its columns read.
#include <gtest/gtest.h>

#include <regex>

#include "history/history_location.h"
#include "history_support.h"

namespace veltra::history {
namespace {

using test::Observed;

TEST(FrameRecord, TheColumnsSearchedByComeFromTheFrame) {
  const FrameRecord sent = Observed(ObservedKind::Sent, test::LightOn(3, 2, FrameForm::Routed), 10, FrameForm::Routed);
  EXPECT_EQ(sent.address, 3);
  EXPECT_EQ(sent.subnet, 1);
  EXPECT_EQ(sent.command, 2 * 256 + 1);
  EXPECT_FALSE(sent.status);
  EXPECT_EQ(sent.flags, kRouted);
  EXPECT_EQ(sent.timeUs, 10);

  const FrameRecord answer = Observed(ObservedKind::Answer, test::LightReply(3, kStatusOk), 20, FrameForm::Direct,
                                      std::chrono::microseconds(1500));
  EXPECT_EQ(answer.command, sent.command) << "a reply shares its request's command";
  EXPECT_EQ(answer.status, kStatusOk);
  EXPECT_FALSE(answer.subnet);
  EXPECT_EQ(answer.roundTripUs, 1500);
  EXPECT_EQ(answer.flags, kReply);
  EXPECT_FALSE(answer.Failure());
}

TEST(FrameRecord, FailuresAreErrorStatusesMissingRepliesAndBadBytes) {
  EXPECT_TRUE(Observed(ObservedKind::Answer, test::LightReply(3, kStatusParameterError), 0).Failure());
  EXPECT_TRUE(Observed(ObservedKind::Unrelated, test::LightReply(3, kStatusCommandError), 0).Failure())
      << "an error heard on the line is a failure too";
  EXPECT_FALSE(Observed(ObservedKind::Late, test::LightReply(3, kStatusOk), 0).Failure());
  EXPECT_FALSE(Observed(ObservedKind::Unrelated, test::LightReply(4, kStatusOk), 0).Failure());

  const FrameRecord noReply = Observed(ObservedKind::NoReply, test::LightOn(5, 1), 0);
  EXPECT_TRUE(noReply.Failure());
  EXPECT_EQ(noReply.address, 5) << "the request that got no reply";

  Bytes broken = test::LightReply(6, kStatusOk);
  broken.back() ^= 0x01;
  const FrameRecord bad = Observed(ObservedKind::NotAFrame, broken, 0);
  EXPECT_TRUE(bad.Failure());
  EXPECT_TRUE(bad.flags & kBadChecksum);
  EXPECT_EQ(bad.address, 6) << "its header still reads";

  const FrameRecord garbage = Observed(ObservedKind::NotAFrame, {0x00, 0x55, 0x13}, 0);
  EXPECT_TRUE(garbage.Failure());
  EXPECT_FALSE(garbage.address);
  EXPECT_FALSE(garbage.flags & kBadChecksum);

  const FrameRecord noise = Observed(ObservedKind::Noise, {}, 0, FrameForm::Direct, std::nullopt, 17);
  EXPECT_TRUE(noise.Failure());
  EXPECT_EQ(noise.skipped, 17u);
  EXPECT_FALSE(noise.command);
}

TEST(FrameRecord, ColumnTexts) {
  const LinkInfo serial = LinkInfoOf(test::kSerialPeer, test::kLine9600);
  const LinkInfo udp = LinkInfoOf(test::kUdpPeer, test::kLine9600);
  EXPECT_EQ(serial.Text(), "Com /dev/ttyUSB0");
  EXPECT_EQ(serial.line.baud, 9600u);
  EXPECT_EQ(udp.Text(), "TCP/IP 127.0.0.1:2001");
  EXPECT_EQ(udp.line.baud, 0u) << "no line rate over UDP";

  const std::int64_t at = 1'765'272'902'123'456;  // some afternoon, .123456 s
  const RowTexts answer = TextsOf(Observed(ObservedKind::Late, test::LightReply(2, kStatusParameterError), at,
                                           FrameForm::Direct, std::chrono::microseconds(512'300)),
                                  serial);
  EXPECT_TRUE(std::regex_match(answer.time, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.123)"))) << answer.time;
  EXPECT_EQ(answer.link, "Com /dev/ttyUSB0");
  EXPECT_EQ(answer.direction, "Received");
  EXPECT_EQ(answer.address, "2");
  EXPECT_EQ(answer.subnet, "");
  EXPECT_EQ(answer.command, "On");
  EXPECT_EQ(answer.status, "Parameter error!");
  EXPECT_EQ(answer.roundTrip, "512 ms");
  EXPECT_EQ(answer.flags, "late reply");
  EXPECT_TRUE(std::regex_match(IsoTimeText(at), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.123[+-]\d\d:\d\d)")));

  const RowTexts noReply = TextsOf(Observed(ObservedKind::NoReply, test::LightOn(2, 7, FrameForm::Routed), at,
                                            FrameForm::Routed),
                                   udp);
  EXPECT_EQ(noReply.direction, "Sent");
  EXPECT_EQ(noReply.subnet, "1");
  EXPECT_EQ(noReply.details, "Output 7");
  EXPECT_EQ(noReply.flags, "no reply");

  Bytes broken = test::LightReply(6, kStatusOk);
  broken.back() ^= 0x01;
  EXPECT_EQ(TextsOf(Observed(ObservedKind::NotAFrame, broken, at), serial).flags, "bad checksum");
  EXPECT_EQ(TextsOf(Observed(ObservedKind::NotAFrame, {1, 2}, at), serial).flags, "not a frame");
  EXPECT_EQ(TextsOf(Observed(ObservedKind::Noise, {}, at, FrameForm::Direct, std::nullopt, 9), serial).flags,
            "noise skipped (9 bytes)");
}

TEST(FrameRecord, CommandsByNameAndTheHistorysPlace) {
  EXPECT_EQ(CommandCodesNamed("on"), std::vector<int>{2 * 256 + 1});
  EXPECT_EQ(CommandCodesNamed("ReadStatus"), std::vector<int>{8});
  EXPECT_EQ(CommandCodesNamed("Open"), std::vector<int>{1 * 256 + 1});
  EXPECT_TRUE(CommandCodesNamed("Dance").empty());

  EXPECT_EQ(HistoryPath("/state", "/home/me"), "/state/veltra/history.sqlite");
  EXPECT_EQ(HistoryPath("", "/home/me"), "/home/me/.local/state/veltra/history.sqlite");
  EXPECT_EQ(HistoryPath("relative", "/home/me"), "/home/me/.local/state/veltra/history.sqlite");
  EXPECT_EQ(HistoryPath("", ""), "");
}

}  // namespace
}  // namespace veltra::history
