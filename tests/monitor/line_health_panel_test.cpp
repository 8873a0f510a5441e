// The Line Health panel shows its source's figures for the span chosen,
// marks what is beyond a threshold as "Warning", names modules from the
// site plan; and the live figures of the window's feed over the last
// seconds and the session.
#include "monitor/line_health_panel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <filesystem>
#include <fstream>

#include "../history/history_support.h"
#include "history/monitor_feed.h"
#include "panel_controls.h"

namespace veltra {
namespace {

using test::Observed;

// Module 1: 20 requests, 18 answers in 2 ms, 2 without a reply (10 %);
// 4,000 bytes on a 9600-baud line.
history::LineHealth Pattern() {
  history::LineHealth health;
  const history::LinkInfo line = history::LinkInfoOf(test::kSerialPeer, test::kLine9600);
  for (int i = 0; i < 20; ++i) health.Add(Observed(ObservedKind::Sent, test::LightOn(1, 1), i), line);
  for (int i = 0; i < 18; ++i)
    health.Add(Observed(ObservedKind::Answer, test::LightReply(1, kStatusOk), i, FrameForm::Direct,
                        std::chrono::microseconds(2000)),
               line);
  for (int i = 0; i < 2; ++i) health.Add(Observed(ObservedKind::NoReply, test::LightOn(1, 1), i), line);
  health.Add(Observed(ObservedKind::Noise, {}, 0, FrameForm::Direct, std::nullopt, 4000 - 20 * 10 - 18 * 9), line);
  return health;
}

QString Cell(QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text() : QString();
}

int RowOf(QTableWidget* table, const QString& figure) {
  for (int r = 0; r < table->rowCount(); ++r)
    if (Cell(table, r, 0).startsWith(figure)) return r;
  return -1;
}

TEST(LineHealthPanel, FiguresOfTheSpanChosenWithTheirWarnings) {
  const history::LineHealth health = Pattern();
  std::vector<int> asked;
  LineHealthPanel panel([&](int seconds, const history::HealthThresholds& thresholds) {
    asked.push_back(seconds);
    return health.Figures(seconds ? seconds : 5.0, thresholds);
  });
  panel.SetModuleNames({{1, "Hall"}});
  EXPECT_EQ(asked.back(), 60) << "the last minute at first";

  // 4,000 bytes of ten bits at 9600 baud over a minute: 6.9 %.
  const int occupancy = RowOf(test::Child<QTableWidget>(panel, "Figures"), "Line occupancy, Com /dev/ttyUSB0");
  ASSERT_GE(occupancy, 0);
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Figures"), occupancy, 1), "6.9 % (9600 baud, 10 bits a byte)");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Figures"), occupancy, 2), "");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Figures"), RowOf(test::Child<QTableWidget>(panel, "Figures"), "No replies"), 1), "2");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Figures"), RowOf(test::Child<QTableWidget>(panel, "Figures"), "Skipped noise bytes"), 1), "3638");

  ASSERT_EQ(test::Child<QTableWidget>(panel, "Modules")->rowCount(), 1);
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 0), "1");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 1), "Hall");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 2), "20");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 3), "18");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 4), "2 (Warning)");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 8), "2.00");
  EXPECT_TRUE(test::Child<QLabel>(panel, "Warnings")->text().contains("module 1 left 10.0 % of its requests without a reply"));

  // The whole session, here five seconds: the line is busy beyond 60 %.
  test::Child<QComboBox>(panel, "Span")->setCurrentText("This session");
  EXPECT_EQ(asked.back(), 0);
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Figures"), occupancy, 1), "83.3 % (9600 baud, 10 bits a byte)");
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Figures"), occupancy, 2), "Warning");
  EXPECT_TRUE(test::Child<QLabel>(panel, "Warnings")->text().contains("Com /dev/ttyUSB0 is busy 83.3 % of the time"));
  test::Child<QComboBox>(panel, "Span")->setCurrentText("Last 10 minutes");
  EXPECT_EQ(asked.back(), 600);

  // A stricter operator's thresholds.
  panel.thresholds.noReplyPercent = 50;
  panel.Refresh();
  EXPECT_EQ(Cell(test::Child<QTableWidget>(panel, "Modules"), 0, 4), "2");
}

TEST(LiveHealth, TheLastSecondsAndTheSession) {
  const std::int64_t start = 1'765'000'000'000'000;
  history::LiveHealth live(start);
  const history::LinkInfo udp = history::LinkInfoOf(test::kUdpPeer, {});
  // A frame a second for two minutes, then nothing for a minute.
  for (int s = 0; s < 120; ++s) live.Add(Observed(ObservedKind::Sent, test::LightOn(1, 1), start + s * 1'000'000), udp);
  const std::int64_t now = start + 120 * 1'000'000 - 1;
  EXPECT_EQ(live.Figures(now, 60).frames, 60);
  EXPECT_DOUBLE_EQ(live.Figures(now, 60).framesPerSecond, 1.0);
  EXPECT_EQ(live.Figures(now, 600).frames, 120);
  EXPECT_NEAR(live.Figures(now, 600).seconds, 120.0, 1e-5) << "no longer than the session";
  EXPECT_EQ(live.Figures(now, 0).frames, 120);
  EXPECT_EQ(live.Figures(now + 60'000'000, 60).frames, 0) << "a quiet minute";
  // Ten minutes on, the slots of the first seconds are taken again.
  live.Add(Observed(ObservedKind::Sent, test::LightOn(1, 1), start + 600 * 1'000'000), udp);
  EXPECT_EQ(live.Figures(start + 600 * 1'000'000, 60).frames, 1);
  EXPECT_EQ(live.Figures(start + 600 * 1'000'000, 0).frames, 121);
}

TEST(MonitorFeed, AHistoryThatCannotBeMadeGivesWayToOneOfThisRun) {
  test::ScratchFolder folder;
  const std::string blocked = folder.File("file");
  { std::ofstream(blocked) << "a file where the folder would be"; }
  std::string temporary;
  {
    history::MonitorFeed feed(blocked + "/veltra/history.sqlite", "test");
    EXPECT_NE(feed.Problem().find("cannot make the history's folder"), std::string::npos) << feed.Problem();
    temporary = feed.HistoryPath();
    EXPECT_NE(temporary.find("veltra-history-"), std::string::npos);
    ObservedFrame frame;
    frame.kind = ObservedKind::Sent;
    const Bytes bytes = test::LightOn(1, 1);
    frame.bytes = bytes;
    frame.at = std::chrono::system_clock::now();
    frame.peer = test::kUdpPeer;
    feed.OnObserved(frame);
    feed.Writer().Flush();
    EXPECT_EQ(history::HistoryStore(temporary, history::HistoryStore::Mode::Existing).FrameCount(), 1);
    EXPECT_EQ(feed.Figures(0).sent, 1);
  }
  EXPECT_FALSE(std::filesystem::exists(temporary)) << "gone with the run";
}

}  // namespace
}  // namespace veltra
