// The history file: rows kept and paged back in (time, id) order by
// keyset, filters that combine, the limits that remove the oldest frames,
// several writers on one file, and the indexes the searches run on.
#include "history/history_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>
#include <thread>

#include "history_support.h"

namespace veltra::history {
namespace {

using test::Observed;

class HistoryStoreTest : public ::testing::Test {
 protected:
  test::ScratchFolder folder;
  std::string path = folder.File("state/veltra/history.sqlite");

  static void Stamp(std::vector<FrameRecord>& rows, std::int64_t session, std::int64_t link) {
    for (FrameRecord& r : rows) {
      r.session = session;
      r.link = link;
    }
  }
  static std::vector<std::int64_t> Ids(const std::vector<FrameRecord>& rows) {
    std::vector<std::int64_t> ids;
    for (const FrameRecord& r : rows) ids.push_back(r.id);
    return ids;
  }
};

TEST_F(HistoryStoreTest, RowsComeBackInTimeOrderPageByPageBothWays) {
  HistoryStore store(path);  // its folders are made
  const std::int64_t session = store.StartSession("test");
  const std::int64_t link = store.LinkId(LinkInfoOf(test::kSerialPeer, test::kLine9600));
  std::vector<FrameRecord> rows;
  // Three rows share each time; the times go back once, as when a second
  // writer's batch lands behind the first.
  for (int i = 0; i < 600; ++i) rows.push_back(Observed(ObservedKind::Sent, test::LightOn(1 + i % 32, 1), 1000 + i / 3));
  for (int i = 0; i < 30; ++i) rows.push_back(Observed(ObservedKind::Sent, test::LightOn(1, 1), 1100 + i));
  Stamp(rows, session, link);
  store.Append(rows);
  EXPECT_EQ(store.FrameCount(), 630);
  EXPECT_EQ(store.TimeSpan(), std::make_pair(std::int64_t{1000}, std::int64_t{1199}));

  std::vector<FrameRecord> forward;
  std::optional<RowKey> key;
  for (;;) {
    const std::vector<FrameRecord> page = store.After({}, key, 64);
    forward.insert(forward.end(), page.begin(), page.end());
    if (page.size() < 64) break;
    key = KeyOf(page.back());
  }
  ASSERT_EQ(forward.size(), 630u);
  EXPECT_TRUE(std::is_sorted(forward.begin(), forward.end(),
                             [](const FrameRecord& a, const FrameRecord& b) { return KeyOf(a) < KeyOf(b); }));
  const std::vector<std::int64_t> ids = Ids(forward);
  EXPECT_EQ(std::set<std::int64_t>(ids.begin(), ids.end()).size(), 630u) << "no row twice";

  std::vector<FrameRecord> backward;
  key.reset();
  for (;;) {
    const std::vector<FrameRecord> page = store.Before({}, key, 50);
    backward.insert(backward.end(), page.begin(), page.end());
    if (page.size() < 50) break;
    key = KeyOf(page.back());
  }
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(Ids(backward), Ids(forward));

  // A row reads back as it was written.
  const FrameRecord& first = forward.front();
  EXPECT_EQ(first.session, session);
  EXPECT_EQ(first.link, link);
  EXPECT_EQ(store.Link(first.link).Text(), "Com /dev/ttyUSB0");
  EXPECT_EQ(store.Link(first.link).line.baud, 9600u);
  EXPECT_EQ(first.bytes, test::LightOn(1, 1));
  EXPECT_EQ(first.address, 1);
}

TEST_F(HistoryStoreTest, FiltersCombine) {
  HistoryStore store(path);
  const std::int64_t session = store.StartSession("test");
  const std::int64_t serial = store.LinkId(LinkInfoOf(test::kSerialPeer, test::kLine9600));
  const std::int64_t udp = store.LinkId(LinkInfoOf(test::kUdpPeer, {}));
  EXPECT_NE(serial, udp);
  EXPECT_EQ(store.LinkId(LinkInfoOf(test::kUdpPeer, {})), udp) << "a known link keeps its id";

  std::vector<FrameRecord> rows;
  std::int64_t t = 0;
  // Address 2: 10 requests, 7 answers OK, 2 parameter errors, 1 no reply.
  for (int i = 0; i < 10; ++i) rows.push_back(Observed(ObservedKind::Sent, test::LightOn(2, 1), t++));
  for (int i = 0; i < 7; ++i) rows.push_back(Observed(ObservedKind::Answer, test::LightReply(2, kStatusOk), t++));
  for (int i = 0; i < 2; ++i)
    rows.push_back(Observed(ObservedKind::Answer, test::LightReply(2, kStatusParameterError), t++));
  rows.push_back(Observed(ObservedKind::NoReply, test::LightOn(2, 1), t++));
  // Address 3: ReadStatus heard on the line, all well; noise.
  const Bytes readStatus = test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 3}}, {FrameForm::Direct, 0});
  for (int i = 0; i < 5; ++i) rows.push_back(Observed(ObservedKind::Unrelated, readStatus, t++));
  rows.push_back(Observed(ObservedKind::Noise, {}, t++, FrameForm::Direct, std::nullopt, 4));
  Stamp(rows, session, serial);
  // Over UDP, later: address 2 again, one error.
  std::vector<FrameRecord> later{Observed(ObservedKind::Sent, test::LightOn(2, 1), 1000),
                                 Observed(ObservedKind::Answer, test::LightReply(2, kStatusCommandError), 1001)};
  Stamp(later, session + 1, udp);
  store.Append(rows);
  store.Append(later);

  auto count = [&store](const HistoryFilter& filter) { return store.After(filter, std::nullopt, 1000).size(); };
  HistoryFilter f;
  EXPECT_EQ(count(f), 28u);
  f.address = 2;
  EXPECT_EQ(count(f), 22u);
  f.failuresOnly = true;
  EXPECT_EQ(count(f), 4u) << "two errors, the no reply, the UDP error";
  f.untilUs = 1000;
  EXPECT_EQ(count(f), 3u);
  f = {};
  f.failuresOnly = true;
  EXPECT_EQ(count(f), 5u) << "and the noise";
  f = {};
  f.commands = CommandCodesNamed("ReadStatus");
  EXPECT_EQ(count(f), 5u);
  f.commands = CommandCodesNamed("On");
  f.direction = Direction::Received;
  EXPECT_EQ(count(f), 10u) << "every light reply";
  f.direction = Direction::Sent;
  EXPECT_EQ(count(f), 12u) << "requests, and the one that got no reply";
  f = {};
  f.session = session + 1;
  EXPECT_EQ(count(f), 2u);
  f = {};
  f.sinceUs = 1000;
  EXPECT_EQ(count(f), 2u);

  // Free text looks at every column's words and the bytes.
  f = {};
  f.text = "PARAMETER error";
  EXPECT_EQ(count(f), 2u);
  f.text = "tcp/ip 127.0.0.1";
  EXPECT_EQ(count(f), 2u);
  f.text = "noise skipped";
  EXPECT_EQ(count(f), 1u);
  f.text = "55 aa 08 03 00 08";
  EXPECT_EQ(count(f), 5u);
  f.address = 2;
  EXPECT_EQ(count(f), 0u);
}

TEST_F(HistoryStoreTest, TheOldestFramesGoBeyondTheLimitsWhichTheFileKeeps) {
  constexpr std::int64_t kDay = 86'400'000'000LL;
  const std::int64_t now = 100 * kDay;
  {
    HistoryStore store(path);
    EXPECT_EQ(store.Limits(), HistoryLimits{}) << "defaults until set";
    store.SetLimits({0, 10});
  }
  HistoryStore store(path, HistoryStore::Mode::Existing);
  EXPECT_EQ(store.Limits(), (HistoryLimits{0, 10}));
  const std::int64_t link = store.LinkId(LinkInfoOf(test::kUdpPeer, {}));
  std::vector<FrameRecord> rows;
  for (int day = 0; day < 20; ++day)
    for (int i = 0; i < 100; ++i) rows.push_back(Observed(ObservedKind::Sent, test::LightOn(1, 1), now - day * kDay - i - 1));
  std::reverse(rows.begin(), rows.end());  // oldest first, as they were recorded
  Stamp(rows, store.StartSession("test"), link);
  store.Append(rows);
  EXPECT_EQ(store.Prune(now), 1000) << "days 10 to 19";
  EXPECT_GT(store.TimeSpan()->first, now - 10 * kDay);

  // By size: the oldest rows go until the pages in use fit.
  std::vector<FrameRecord> more;
  for (int i = 0; i < 60000; ++i) more.push_back(Observed(ObservedKind::Sent, test::LightOn(1 + i % 32, 1), now + i));
  Stamp(more, 1, link);
  store.Append(more);
  const std::int64_t before = store.UsedBytes();
  const std::int64_t oldest = store.After({}, std::nullopt, 1).front().id;
  store.SetLimits({before / 2, 0});
  EXPECT_GT(store.Prune(now), 0);
  EXPECT_LE(store.UsedBytes(), before / 2);
  const FrameRecord first = store.After({}, std::nullopt, 1).front();
  EXPECT_GT(first.id, oldest);
  EXPECT_EQ(store.After({}, std::nullopt, 100000).back().timeUs, now + 59999) << "the newest stay";
  EXPECT_EQ(store.IntegrityCheck(), "ok");
}

TEST_F(HistoryStoreTest, SeveralWritersShareTheFile) {
  { HistoryStore create(path); }
  constexpr int kBatches = 40, kRows = 100;
  auto writer = [this](int address) {
    HistoryStore store(path, HistoryStore::Mode::Existing);
    const std::int64_t session = store.StartSession("writer " + std::to_string(address));
    const std::int64_t link = store.LinkId(LinkInfoOf(test::kSerialPeer, test::kLine9600));
    for (int b = 0; b < kBatches; ++b) {
      std::vector<FrameRecord> rows;
      for (int i = 0; i < kRows; ++i) rows.push_back(Observed(ObservedKind::Sent, test::LightOn(address, 1), b * kRows + i));
      Stamp(rows, session, link);
      store.Append(rows);
    }
  };
  std::thread a(writer, 1), b(writer, 2);
  a.join();
  b.join();
  HistoryStore store(path, HistoryStore::Mode::Existing);
  HistoryFilter one;
  one.address = 1;
  EXPECT_EQ(store.After(one, std::nullopt, 100000).size(), std::size_t{kBatches * kRows});
  EXPECT_EQ(store.FrameCount(), 2 * kBatches * kRows);
  EXPECT_EQ(store.IntegrityCheck(), "ok");
}

TEST_F(HistoryStoreTest, SearchesRunOnIndexes) {
  HistoryStore store(path);
  HistoryFilter f;
  EXPECT_NE(store.QueryPlan(f).find("USING INDEX frames_time"), std::string::npos) << store.QueryPlan(f);
  f.address = 4;
  EXPECT_NE(store.QueryPlan(f).find("USING INDEX frames_address"), std::string::npos) << store.QueryPlan(f);
  f = {};
  f.failuresOnly = true;
  EXPECT_NE(store.QueryPlan(f).find("USING INDEX frames_failures"), std::string::npos) << store.QueryPlan(f);
  f.address = 4;
  EXPECT_EQ(store.QueryPlan(f).find("SCAN"), std::string::npos) << store.QueryPlan(f);
}

TEST_F(HistoryStoreTest, AMissingHistoryIsNotMadeByReaders) {
  try {
    HistoryStore store(path, HistoryStore::Mode::Existing);
    FAIL() << "opened a history that is not there";
  } catch (const HistoryError& error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  HistoryStore store(path);
  EXPECT_EQ(store.FrameCount(), 0);
  EXPECT_FALSE(store.TimeSpan());
}

}  // namespace
}  // namespace veltra::history
