// The scan's steps without a bus: which request is due after each answer,
// what becomes a row, and the CSV the table is exported as.
#include <gtest/gtest.h>

#include "scan/bus_scan.h"

namespace veltra {
namespace {

DecodedReply Reply(ReplyEffect effect, std::string text = {}) {
  DecodedReply r;
  r.logLine = "Read";
  r.effect = effect;
  r.text = std::move(text);
  return r;
}

TEST(BusScan, AnAnswerToTheTypeIsFollowedByTheVersionThenTheNextAddress) {
  BusScan scan(3, 6);
  EXPECT_EQ(scan.AddressCount(), 4);
  auto step = [&] { return std::make_pair(scan.Pending()->address, scan.Pending()->query); };
  EXPECT_EQ(step(), std::make_pair(3, ScanQuery::ModuleType));
  scan.Replied(Reply(ReplyEffect::ModuleType, "0208"), 1.25);
  EXPECT_EQ(step(), std::make_pair(3, ScanQuery::Version));
  scan.Replied(Reply(ReplyEffect::Version, "Light-8 V1.0"), 0.5);
  EXPECT_EQ(step(), std::make_pair(4, ScanQuery::ModuleType));
  scan.TimedOut();  // nobody at 4
  // 5 answers with an error status: no row.
  scan.Replied(Reply(ReplyEffect::None), 0.3);
  EXPECT_EQ(step(), std::make_pair(6, ScanQuery::ModuleType));
  scan.Replied(Reply(ReplyEffect::ModuleType, "0104"), 2);
  scan.TimedOut();  // its version never came
  EXPECT_TRUE(scan.Finished());
  EXPECT_FALSE(scan.Stopped());
  EXPECT_EQ(scan.AddressesDone(), 4);
  ASSERT_EQ(scan.Rows().size(), 2u);
  EXPECT_EQ(scan.Rows()[0].version, "Light-8 V1.0");
  EXPECT_DOUBLE_EQ(scan.Rows()[0].replyMs, 1.25) << "the type request's round trip";
  EXPECT_EQ(scan.Rows()[1].address, 6);
  EXPECT_EQ(scan.Rows()[1].version, "");
  EXPECT_THROW(BusScan(5, 4), std::invalid_argument);
}

TEST(BusScan, AsksTheTypeThenTheVersionOfTheAddressDue) {
  BusScan scan(7, 8);
  PreparedRequest request = scan.Build({FrameForm::Routed, 3});
  ASSERT_NE(request.spec, nullptr);
  EXPECT_EQ(request.spec->id, RequestId::ReadModuleType);
  EXPECT_EQ(request.values["ADDR"], 7);
  EXPECT_EQ(request.buffer[5], 7);
  scan.Replied(Reply(ReplyEffect::ModuleType, "0208"), 1);
  request = scan.Build({FrameForm::Routed, 3});
  EXPECT_EQ(request.spec->id, RequestId::ReadVersion);
  EXPECT_EQ(request.values["ADDR"], 7);
}

TEST(BusScan, StopKeepsTheRowsAndSendsNothingMore) {
  BusScan scan(1, 32);
  scan.Replied(Reply(ReplyEffect::ModuleType, "0208"), 1);
  scan.Stop();
  EXPECT_TRUE(scan.Finished());
  EXPECT_TRUE(scan.Stopped());
  EXPECT_FALSE(scan.Pending());
  scan.Replied(Reply(ReplyEffect::Version, "late"), 1);  // a late answer changes nothing
  ASSERT_EQ(scan.Rows().size(), 1u);
  EXPECT_EQ(scan.Rows()[0].version, "");
  EXPECT_THROW(scan.Build({FrameForm::Routed, 1}), std::logic_error);
}

TEST(BusScan, CsvQuotesTheVersions) {
  const std::vector<ScanRow> rows{{1, "0208", "Light-8 V1.0", 0.46}, {12, "0301", "say \"hi\", twice", 12}};
  EXPECT_EQ(ScanCsv(rows),
            "Address,Module Type,Version,Reply (ms)\n"
            "1,0208,\"Light-8 V1.0\",0.5\n"
            "12,0301,\"say \"\"hi\"\", twice\",12.0\n");
}

}  // namespace
}  // namespace veltra
