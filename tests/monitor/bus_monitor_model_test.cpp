// The Bus Monitor's table model over a history another connection writes:
// the newest rows first and older ones a page at a time, new rows added in
// one batch per poll, pause without loss, rows whose times land before the
// newest shown put in their place, a bounded window, a span from a time on,
// and filters.
#include "monitor/bus_monitor_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <set>

#include "../history/history_support.h"

namespace veltra {
namespace {

using history::FrameRecord;
using test::Observed;

class BusMonitorModelTest : public ::testing::Test {
 protected:
  test::ScratchFolder folder;
  std::string path = folder.File("history.sqlite");
  history::HistoryStore writer{path};
  std::int64_t session = writer.StartSession("test");
  std::int64_t link = writer.LinkId(history::LinkInfoOf(test::kUdpPeer, {}));
  std::int64_t clock = 1'765'000'000'000'000;

  // n requests to the given address, each a millisecond after the last.
  void Write(int n, int address = 1, std::int64_t step = 1000) {
    std::vector<FrameRecord> rows;
    for (int i = 0; i < n; ++i) {
      rows.push_back(Observed(ObservedKind::Sent, test::LightOn(address, 1 + i % 8), clock += step));
      rows.back().session = session;
      rows.back().link = link;
    }
    writer.Append(rows);
  }
  static std::vector<std::int64_t> Ids(const BusMonitorModel& model) {
    std::vector<std::int64_t> ids;
    for (int r = 0; r < model.rowCount(); ++r) ids.push_back(model.Record(r).id);
    return ids;
  }
  static bool InOrder(const BusMonitorModel& model) {
    for (int r = 1; r < model.rowCount(); ++r)
      if (!(history::KeyOf(model.Record(r - 1)) < history::KeyOf(model.Record(r)))) return false;
    return true;
  }
};

TEST_F(BusMonitorModelTest, TheNewestFirstAndOlderRowsAPageAtATime) {
  Write(1200);
  BusMonitorModel model(path);
  model.Show({});
  ASSERT_EQ(model.rowCount(), BusMonitorModel::kPage);
  EXPECT_EQ(model.Record(model.rowCount() - 1).id, writer.MaxId()) << "the newest row last";
  EXPECT_TRUE(model.MayHaveOlder());
  EXPECT_TRUE(model.AtNewest());
  EXPECT_FALSE(model.canFetchMore({}));

  QSignalSpy prepended(&model, &BusMonitorModel::rowsPrepended);
  EXPECT_EQ(model.FetchOlder(), BusMonitorModel::kPage);
  EXPECT_EQ(model.FetchOlder(), 200);
  EXPECT_FALSE(model.MayHaveOlder());
  EXPECT_EQ(model.FetchOlder(), 0);
  EXPECT_EQ(prepended.count(), 2);
  EXPECT_EQ(model.rowCount(), 1200);
  EXPECT_TRUE(InOrder(model));
  const std::vector<std::int64_t> ids = Ids(model);
  EXPECT_EQ(std::set<std::int64_t>(ids.begin(), ids.end()).size(), 1200u);

  // The columns as the monitor shows them.
  EXPECT_EQ(model.headerData(BusMonitorModel::RoundTripColumn, Qt::Horizontal).toString(), "Round trip");
  EXPECT_EQ(model.index(0, BusMonitorModel::LinkColumn).data().toString(), "TCP/IP 127.0.0.1:2001");
  EXPECT_EQ(model.index(0, BusMonitorModel::CommandColumn).data().toString(), "On");
  EXPECT_EQ(model.index(0, BusMonitorModel::DetailsColumn).data().toString(), "Output 1");
  EXPECT_EQ(model.index(0, BusMonitorModel::DirColumn).data().toString(), "Sent");
  model.SetModuleNames({{1, "Hall"}});
  EXPECT_EQ(model.index(0, BusMonitorModel::AddressColumn).data().toString(), "1 Hall");
  EXPECT_TRUE(model.index(0, BusMonitorModel::TimeColumn).data(Qt::ToolTipRole).toString().contains("55 AA"));
}

TEST_F(BusMonitorModelTest, NewRowsComeInOneBatchPerPollAndPauseLosesNothing) {
  Write(10);
  BusMonitorModel model(path);
  model.Show({});
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  Write(300);
  EXPECT_EQ(model.Poll(), 300);
  EXPECT_EQ(inserted.count(), 1) << "one model signal for the whole batch";
  EXPECT_EQ(model.Poll(), 0);

  model.SetPaused(true);
  Write(250);
  Write(250);
  EXPECT_EQ(model.Poll(), 0);
  EXPECT_EQ(model.rowCount(), 310);
  EXPECT_EQ(model.Waiting(), 500);
  model.SetPaused(false);
  EXPECT_EQ(model.Poll(), 500);
  EXPECT_EQ(model.rowCount(), 810);
  EXPECT_EQ(model.Record(809).id, writer.MaxId());
  EXPECT_TRUE(InOrder(model));
  EXPECT_EQ(inserted.count(), 2);
}

TEST_F(BusMonitorModelTest, RowsStoredLateWithEarlierTimesGoToTheirPlace) {
  Write(20);
  BusMonitorModel model(path);
  model.Show({});
  // Another writer's batch, stored now, with times a little before the
  // newest shown; then rows after it.
  const std::int64_t newest = clock;
  clock -= 5500;
  Write(3);
  clock = newest;
  Write(2);
  EXPECT_EQ(model.Poll(), 5);
  EXPECT_EQ(model.rowCount(), 25);
  EXPECT_TRUE(InOrder(model));
  EXPECT_EQ(model.Record(24).timeUs, newest + 2000);
}

TEST_F(BusMonitorModelTest, TheWindowIsBoundedAndReadsAgainWhatItDropped) {
  Write(100);
  BusMonitorModel model(path);
  model.SetCapacity(1000);
  model.Show({});
  QSignalSpy trimmed(&model, &BusMonitorModel::rowsTrimmedAtTop);
  for (int i = 0; i < 5; ++i) {
    Write(400);
    model.Poll();
  }
  EXPECT_EQ(model.rowCount(), 1000);
  EXPECT_GE(trimmed.count(), 1);
  EXPECT_TRUE(model.MayHaveOlder());
  EXPECT_EQ(model.Record(999).id, writer.MaxId());
  // Scrolled back up: the rows dropped are read again, and the newest go.
  while (model.MayHaveOlder()) model.FetchOlder();
  EXPECT_EQ(model.Record(0).id, 1);
  EXPECT_EQ(model.rowCount(), 1000);
  EXPECT_FALSE(model.AtNewest());
  EXPECT_TRUE(model.canFetchMore({}));
  EXPECT_EQ(model.Poll(), 0) << "no rows added below a window that does not reach the newest";
  while (model.canFetchMore({})) model.fetchMore({});
  EXPECT_EQ(model.Record(model.rowCount() - 1).id, writer.MaxId());
  EXPECT_TRUE(InOrder(model));

  // After a pause longer than the window holds, it starts from the newest.
  model.SetPaused(true);
  Write(1500);
  model.SetPaused(false);
  model.Poll();
  EXPECT_EQ(model.Record(model.rowCount() - 1).id, writer.MaxId());
}

TEST_F(BusMonitorModelTest, ASpanFromATimeOnThenTheNewest) {
  Write(600);
  const std::int64_t since = clock;
  Write(700);
  BusMonitorModel model(path);
  history::HistoryFilter f;
  f.sinceUs = since;
  model.Show(f, true);
  EXPECT_EQ(model.Record(0).timeUs, since);
  EXPECT_EQ(model.rowCount(), BusMonitorModel::kPage);
  EXPECT_FALSE(model.MayHaveOlder());
  Write(50);  // stored meanwhile: the polls', once the view reaches the newest
  EXPECT_EQ(model.Poll(), 0);
  while (model.canFetchMore({})) model.fetchMore({});
  EXPECT_EQ(model.rowCount(), 701);
  EXPECT_EQ(model.Poll(), 50);
  EXPECT_EQ(model.rowCount(), 751);
  EXPECT_TRUE(InOrder(model));
}

TEST_F(BusMonitorModelTest, ARareMatchIsSearchedForBackAWindowAtATime) {
  // Ten hours of traffic to module 1; module 31 spoke once, at the start.
  Write(1, 31);
  for (int hour = 0; hour < 10; ++hour) Write(200, 1, 180'000'000);
  BusMonitorModel model(path);
  model.SetSearchBudget(std::chrono::milliseconds(0));  // one window a call
  history::HistoryFilter f;
  f.address = 31;
  model.Show(f);
  EXPECT_EQ(model.rowCount(), 0) << "not in the last minute";
  EXPECT_TRUE(model.MayHaveOlder());
  int calls = 0;
  while (model.MayHaveOlder() && calls < 20) {
    model.FetchOlder();
    ++calls;
  }
  EXPECT_FALSE(model.MayHaveOlder());
  EXPECT_LE(calls, 8) << "the windows grow";
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.Record(0).id, 1);

  // From the start, forward, the same way.
  history::HistoryFilter later;
  later.address = 31;
  later.sinceUs = model.Record(0).timeUs + 1;
  model.Show(later, true);
  calls = 0;
  while (model.canFetchMore({}) && calls < 20) {
    model.fetchMore({});
    ++calls;
  }
  EXPECT_TRUE(model.AtNewest());
  EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(BusMonitorModelTest, FiltersAndNamesNarrowTheRows) {
  Write(30, 1);
  Write(20, 2);
  std::vector<FrameRecord> failures{Observed(ObservedKind::NoReply, test::LightOn(2, 1), clock += 1000),
                                    Observed(ObservedKind::Answer, test::LightReply(2, kStatusParameterError), clock += 1000)};
  for (FrameRecord& r : failures) {
    r.session = session;
    r.link = link;
  }
  writer.Append(failures);
  BusMonitorModel model(path);
  history::HistoryFilter f;
  f.address = 2;
  model.Show(f);
  EXPECT_EQ(model.rowCount(), 22);
  f.failuresOnly = true;
  model.Show(f);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.index(0, BusMonitorModel::FlagsColumn).data().toString(), "no reply");
  EXPECT_EQ(model.index(1, BusMonitorModel::StatusColumn).data().toString(), "Parameter error!");
  EXPECT_TRUE(model.index(1, 0).data(Qt::ForegroundRole).isValid()) << "failures stand out";
  Write(5, 2);
  EXPECT_EQ(model.Poll(), 0) << "new rows that do not match stay out";
  // A module's name found by the free text.
  history::HistoryFilter named;
  named.text = "kitchen";
  named.textAddresses = {1};
  model.Show(named);
  EXPECT_EQ(model.rowCount(), 30);
}

}  // namespace
}  // namespace veltra
