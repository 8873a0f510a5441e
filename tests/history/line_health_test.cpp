// The line's health over a known traffic pattern on a 9600-baud line:
// occupancy from the bytes on the wire and the bits per character, frames
// per second, bad frames and noise, late and unrelated frames, per module
// requests, replies, missing replies and round-trip percentiles, and the
// thresholds that turn figures into warnings.
#include "history/line_health.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "history_support.h"

namespace veltra::history {
namespace {

using test::Observed;
using std::chrono::microseconds;

struct Traffic {
  std::vector<FrameRecord> rows;
  std::int64_t wireBytes = 0;
};

// Ten seconds of a serial line:
//  - module 1: 100 requests, 90 answers with round trips 10..99 ms, 10 with no reply;
//  - module 2: 50 requests, 50 answers in 5 ms, 3 late replies;
//  - 20 frames of others to module 3, heard;
//  - 2 frames with a bad checksum among 30 bytes of noise.
Traffic KnownPattern() {
  Traffic t;
  auto add = [&t](FrameRecord r, bool onWire = true) {
    if (onWire) t.wireBytes += static_cast<std::int64_t>(r.bytes.size());
    t.rows.push_back(std::move(r));
  };
  for (int i = 0; i < 100; ++i) add(Observed(ObservedKind::Sent, test::LightOn(1, 1), i));
  for (int i = 0; i < 90; ++i)
    add(Observed(ObservedKind::Answer, test::LightReply(1, kStatusOk), i, FrameForm::Direct, microseconds((10 + i) * 1000)));
  for (int i = 0; i < 10; ++i) add(Observed(ObservedKind::NoReply, test::LightOn(1, 1), i), false);
  for (int i = 0; i < 50; ++i) add(Observed(ObservedKind::Sent, test::LightOn(2, 1), i));
  for (int i = 0; i < 50; ++i)
    add(Observed(ObservedKind::Answer, test::LightReply(2, kStatusOk), i, FrameForm::Direct, microseconds(5000)));
  for (int i = 0; i < 3; ++i)
    add(Observed(ObservedKind::Late, test::LightReply(2, kStatusOk), i, FrameForm::Direct, microseconds(700'000)));
  for (int i = 0; i < 20; ++i) add(Observed(ObservedKind::Unrelated, test::LightOn(3, 2), i));
  Bytes broken = test::LightReply(4, kStatusOk);
  broken.back() ^= 0x01;
  for (int i = 0; i < 2; ++i) add(Observed(ObservedKind::NotAFrame, broken, i), false);
  add(Observed(ObservedKind::Noise, {}, 0, FrameForm::Direct, std::nullopt, 30), false);
  t.wireBytes += 30;
  return t;
}

LineHealth Fed(const std::vector<FrameRecord>& rows) {
  LineHealth health;
  const LinkInfo line = LinkInfoOf(test::kSerialPeer, test::kLine9600);
  for (const FrameRecord& r : rows) health.Add(r, line);
  return health;
}

TEST(LineHealth, FiguresOfAKnownTrafficPattern) {
  const Traffic t = KnownPattern();
  const LineFigures f = Fed(t.rows).Figures(10.0);
  EXPECT_EQ(f.frames, 100 + 90 + 50 + 50 + 3 + 20 + 2);
  EXPECT_EQ(f.sent, 150);
  EXPECT_EQ(f.received, 90 + 50 + 3 + 20 + 2);
  EXPECT_DOUBLE_EQ(f.framesPerSecond, f.frames / 10.0);
  EXPECT_EQ(f.badChecksums, 2);
  EXPECT_EQ(f.notFrames, 0);
  EXPECT_EQ(f.noiseBytes, 30);
  EXPECT_EQ(f.lateReplies, 3);
  EXPECT_EQ(f.unrelated, 20);
  EXPECT_EQ(f.noReplies, 10);
  EXPECT_NEAR(f.badFramePercent, 100.0 * 2 / 165, 1e-9);
  EXPECT_TRUE(f.badFrameWarning) << "above 1 %";

  ASSERT_EQ(f.occupancy.size(), 1u);
  EXPECT_EQ(f.occupancy[0].link.Text(), "Com /dev/ttyUSB0");
  EXPECT_EQ(f.occupancy[0].wireBytes, t.wireBytes) << "a bad frame's bytes are counted once, in the noise";
  EXPECT_NEAR(f.occupancy[0].percent, 100.0 * t.wireBytes * 10 / (9600 * 10.0), 1e-9);
  EXPECT_FALSE(f.occupancy[0].warning);

  ASSERT_EQ(f.modules.size(), 4u);
  const ModuleFigures& m1 = f.modules[0];
  EXPECT_EQ(m1.address, 1);
  EXPECT_EQ(m1.requests, 100);
  EXPECT_EQ(m1.replies, 90);
  EXPECT_EQ(m1.noReplies, 10);
  ASSERT_TRUE(m1.roundTrip);
  // Nearest rank over 10..99 ms: the 45th, 86th and 90th values.
  EXPECT_DOUBLE_EQ(m1.roundTrip->p50, 54);
  EXPECT_DOUBLE_EQ(m1.roundTrip->p95, 95);
  EXPECT_DOUBLE_EQ(m1.roundTrip->p99, 99);
  EXPECT_TRUE(m1.noReplyWarning) << "10 % without a reply";
  const ModuleFigures& m2 = f.modules[1];
  EXPECT_EQ(m2.late, 3);
  EXPECT_DOUBLE_EQ(m2.roundTrip->p99, 5);
  EXPECT_FALSE(m2.noReplyWarning);
  EXPECT_EQ(f.modules[2].heard, 20);
  EXPECT_FALSE(f.modules[2].roundTrip);
  EXPECT_EQ(f.modules[3].address, 4) << "the bad frame's header names its module";

  const std::vector<std::string> warnings = f.Warnings();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("check the wiring"), std::string::npos);
  EXPECT_NE(warnings[1].find("module 1"), std::string::npos);
}

TEST(LineHealth, ABusyLineAndStricterThresholdsWarn) {
  const Traffic t = KnownPattern();
  const LineHealth health = Fed(t.rows);
  // The same bytes in a tenth of the span: above 60 % of 9600 baud.
  const LineFigures busy = health.Figures(1.0);
  EXPECT_GT(busy.occupancy[0].percent, 60);
  EXPECT_TRUE(busy.occupancy[0].warning);
  EXPECT_NE(busy.Warnings()[0].find("Com /dev/ttyUSB0 is busy"), std::string::npos);

  HealthThresholds lenient;
  lenient.badFramePercent = 5;
  lenient.noReplyPercent = 20;
  lenient.occupancyPercent = 99;
  EXPECT_TRUE(health.Figures(10.0, lenient).Warnings().empty());

  // Eleven and twelve bits a character take the line longer.
  LineHealth parity;
  const LinkInfo even = LinkInfoOf(test::kSerialPeer, {9600, 11});
  for (const FrameRecord& r : t.rows) parity.Add(r, even);
  EXPECT_NEAR(parity.Figures(10.0).occupancy[0].percent, health.Figures(10.0).occupancy[0].percent * 1.1, 1e-9);

  // Over UDP there is no line to occupy.
  LineHealth udp;
  for (const FrameRecord& r : t.rows) udp.Add(r, LinkInfoOf(test::kUdpPeer, {}));
  EXPECT_TRUE(udp.Figures(10.0).occupancy.empty());
}

TEST(LineHealth, PartsMergedGiveTheFiguresOfTheWhole) {
  const Traffic t = KnownPattern();
  const std::size_t half = t.rows.size() / 2;
  LineHealth merged = Fed({t.rows.begin(), t.rows.begin() + static_cast<std::ptrdiff_t>(half)});
  merged.Merge(Fed({t.rows.begin() + static_cast<std::ptrdiff_t>(half), t.rows.end()}));
  EXPECT_EQ(FiguresJson(merged.Figures(10.0)), FiguresJson(Fed(t.rows).Figures(10.0)));
}

TEST(LineHealth, TextAndJson) {
  const LineFigures f = Fed(KnownPattern().rows).Figures(10.0);
  const nlohmann::json j = nlohmann::json::parse(FiguresJson(f));
  EXPECT_EQ(j["frames"], f.frames);
  EXPECT_EQ(j["occupancy"][0]["link"], "Com /dev/ttyUSB0");
  EXPECT_EQ(j["occupancy"][0]["bits_per_byte"], 10);
  EXPECT_EQ(j["modules"][0]["round_trip_ms"]["p95"], 95.0);
  EXPECT_TRUE(j["modules"][2]["round_trip_ms"].is_null());
  EXPECT_EQ(j["warnings"].size(), 2u);
  EXPECT_TRUE(j["bad_frame_warning"]);

  const std::string text = FiguresText(f);
  EXPECT_NE(text.find("Bad frames:           1.21 % of the frames received  WARNING"), std::string::npos) << text;
  EXPECT_NE(text.find("Warning: module 1 left 10.0 % of its requests without a reply"), std::string::npos) << text;
}

TEST(LineHealth, RoundTripsBeyondTheKeptNumberAreSampledFairly) {
  LineHealth health;
  const LinkInfo udp = LinkInfoOf(test::kUdpPeer, {});
  const Bytes reply = test::LightReply(1, kStatusOk);
  // Two thirds at 1 ms, one third at 100 ms, interleaved.
  for (std::size_t i = 0; i < 3 * LineHealth::kKeptRoundTrips; ++i)
    health.Add(Observed(ObservedKind::Answer, reply, 0, FrameForm::Direct, microseconds(i % 3 == 2 ? 100'000 : 1000)),
               udp);
  const LineFigures f = health.Figures(1.0);
  EXPECT_EQ(f.modules[0].replies, static_cast<std::int64_t>(3 * LineHealth::kKeptRoundTrips));
  EXPECT_DOUBLE_EQ(f.modules[0].roundTrip->p50, 1);
  EXPECT_DOUBLE_EQ(f.modules[0].roundTrip->p95, 100);
}

}  // namespace
}  // namespace veltra::history
