// The Bus Monitor panel over a history written beside it: its filter
// controls combining, this session or the whole history or from a time on,
// pause without loss, following the newest, and the export of every
// filtered row (not only those loaded) read back in each format.
#include "monitor/bus_monitor_widget.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <nlohmann/json.hpp>

#include "../capture/capture_support.h"
#include "../history/history_support.h"
#include "panel_controls.h"

namespace veltra {
namespace {

using history::FrameRecord;
using test::Observed;

class BusMonitorWidgetTest : public ::testing::Test {
 protected:
  test::ScratchFolder folder;
  std::string path = folder.File("history.sqlite");
  history::HistoryStore writer{path};
  std::int64_t earlier = writer.StartSession("earlier run");
  std::int64_t session = writer.StartSession("this run");
  std::int64_t serial = writer.LinkId(history::LinkInfoOf(test::kSerialPeer, test::kLine9600));
  std::int64_t udp = writer.LinkId(history::LinkInfoOf(test::kUdpPeer, {}));
  // Frames come after their session started.
  std::int64_t clock = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch()).count() + 1'000'000;
  QStringList warnings;
  QString saveAnswer;
  std::unique_ptr<BusMonitorWidget> widget;

  void Add(std::vector<FrameRecord> rows, std::int64_t inSession, std::int64_t link) {
    for (FrameRecord& r : rows) {
      r.session = inSession;
      r.link = link;
    }
    writer.Append(rows);
  }
  // This run: over UDP module 2 asked ReadStatus, on the serial line
  // module 3 switched; one parameter error and one request without a reply.
  void Traffic(int rounds) {
    const Bytes readStatus = test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 2}}, {FrameForm::Routed, 1});
    const Bytes status = BuildReplyFrame(FrameForm::Routed, 1, 2, 0x80, 8, 1, {1, 1, 0});
    for (int i = 0; i < rounds; ++i) {
      Add({Observed(ObservedKind::Sent, readStatus, clock += 1000, FrameForm::Routed),
           Observed(ObservedKind::Answer, status, clock += 1000, FrameForm::Routed, std::chrono::microseconds(900))},
          session, udp);
      Add({Observed(ObservedKind::Sent, test::LightOn(3, 1), clock += 1000),
           Observed(ObservedKind::Answer, test::LightReply(3, kStatusOk), clock += 1000)},
          session, serial);
    }
    Add({Observed(ObservedKind::Sent, test::LightOn(3, 9), clock += 1000),
         Observed(ObservedKind::Answer, test::LightReply(3, kStatusParameterError), clock += 1000),
         Observed(ObservedKind::NoReply, test::LightOn(3, 2), clock += 500'000)},
        session, serial);
  }
  void Open() {
    BusMonitorHooks hooks;
    hooks.saveFileName = [this](const QString&, const QString&, const QString&) { return saveAnswer; };
    hooks.warning = [this](const QString& text, const QString& details) { warnings << text + ": " + details; };
    widget = std::make_unique<BusMonitorWidget>(path, session, hooks);
    widget->resize(1200, 500);
  }
  int Rows() { return widget->Model()->rowCount(); }
  QString Cell(int row, int column) { return widget->Model()->index(row, column).data().toString(); }
};

TEST_F(BusMonitorWidgetTest, FilterControlsCombine) {
  Add({Observed(ObservedKind::Sent, test::LightOn(2, 1), clock += 1000)}, earlier, serial);
  Traffic(5);
  Open();
  EXPECT_EQ(Rows(), 23) << "this session only";
  test::Child<QSpinBox>(*widget, "AddressFilter")->setValue(3);
  EXPECT_EQ(Rows(), 13);
  test::Child<QCheckBox>(*widget, "FailuresOnly")->setChecked(true);
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(Cell(0, BusMonitorModel::StatusColumn), "Parameter error!");
  EXPECT_EQ(Cell(1, BusMonitorModel::FlagsColumn), "no reply");
  test::Child<QCheckBox>(*widget, "FailuresOnly")->setChecked(false);
  test::Child<QSpinBox>(*widget, "AddressFilter")->setValue(-1);
  test::Child<QComboBox>(*widget, "CommandFilter")->setCurrentText("ReadStatus");
  EXPECT_EQ(Rows(), 10);
  test::Child<QComboBox>(*widget, "DirectionFilter")->setCurrentText("Received");
  EXPECT_EQ(Rows(), 5);
  EXPECT_EQ(Cell(0, BusMonitorModel::DetailsColumn), "Output 1 on, Output 2 off");
  EXPECT_EQ(Cell(0, BusMonitorModel::RoundTripColumn), "0.9 ms");
  test::Child<QComboBox>(*widget, "CommandFilter")->setCurrentIndex(0);
  test::Child<QComboBox>(*widget, "DirectionFilter")->setCurrentIndex(0);
  test::Child<QLineEdit>(*widget, "SearchText")->setText("com /dev/ttyUSB0");
  emit test::Child<QLineEdit>(*widget, "SearchText")->editingFinished();
  EXPECT_EQ(Rows(), 13);
  // A module found by its name in the site plan.
  widget->SetModuleNames({{2, "Hall light"}});
  test::Child<QLineEdit>(*widget, "SearchText")->setText("hall");
  emit test::Child<QLineEdit>(*widget, "SearchText")->editingFinished();
  EXPECT_EQ(Rows(), 10);
  EXPECT_EQ(Cell(0, BusMonitorModel::AddressColumn), "2 Hall light");
  test::Child<QLineEdit>(*widget, "SearchText")->clear();
  emit test::Child<QLineEdit>(*widget, "SearchText")->editingFinished();
  test::Child<QComboBox>(*widget, "Span")->setCurrentText("Whole history");
  EXPECT_EQ(Rows(), 24) << "the earlier run's frame too";
}

TEST_F(BusMonitorWidgetTest, PauseLosesNothingAndTheNewestAreFollowed) {
  Traffic(10);
  Open();
  widget->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  const int before = Rows();
  Traffic(200);
  widget->Tick();
  EXPECT_EQ(Rows(), before + 803);
  QScrollBar* bar = test::Child<QTableView>(*widget, "Frames")->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum()) << "the newest row in view";

  test::Child<QToolButton>(*widget, "PauseButton")->click();
  Traffic(100);
  widget->Tick();
  EXPECT_EQ(Rows(), before + 803);
  EXPECT_TRUE(test::Child<QLabel>(*widget, "Status")->text().contains("paused, 403 new frames recorded meanwhile")) << test::Child<QLabel>(*widget, "Status")->text().toStdString();
  test::Child<QToolButton>(*widget, "PauseButton")->click();
  EXPECT_EQ(Rows(), before + 803 + 403);
  EXPECT_EQ(widget->Model()->Record(Rows() - 1).id, writer.MaxId());

  // Scrolled up by hand: no longer following; older rows are read on the way.
  bar->setValue(0);
  EXPECT_FALSE(test::Child<QCheckBox>(*widget, "FollowNewest")->isChecked());
  Traffic(1);
  widget->Tick();
  EXPECT_LT(bar->value(), bar->maximum());
}

TEST_F(BusMonitorWidgetTest, HistorySinceATimeStartsThere) {
  Add({Observed(ObservedKind::Sent, test::LightOn(2, 1), clock += 60'000'000)}, earlier, serial);
  const std::int64_t since = clock + 1;
  Traffic(3);
  Open();
  // The control holds milliseconds: the first one at or after `since`, which
  // is before the first frame of this run (since + 999 µs).
  widget->ShowHistorySince(QDateTime::fromMSecsSinceEpoch((since + 999) / 1000));
  EXPECT_EQ(test::Child<QComboBox>(*widget, "Span")->currentText(), "History since");
  EXPECT_TRUE(test::Child<QDateTimeEdit>(*widget, "Since")->isEnabled());
  EXPECT_EQ(Rows(), 15);
  EXPECT_GE(widget->Model()->Record(0).timeUs, since);
  test::Child<QComboBox>(*widget, "Span")->setCurrentText("Whole history");
  EXPECT_EQ(Rows(), 16);
}

TEST_F(BusMonitorWidgetTest, ExportWritesEveryFilteredRowAndReadsBack) {
  Traffic(400);  // 1,603 rows, more than a page
  Open();
  ASSERT_LT(Rows(), 1603) << "only a page is loaded";
  test::Child<QSpinBox>(*widget, "AddressFilter")->setValue(3);

  saveAnswer = QString::fromStdString(folder.File("frames.csv"));
  widget->ExportClick();
  std::ifstream csv(folder.File("frames.csv"));
  int lines = 0;
  for (std::string line; std::getline(csv, line);) ++lines;
  EXPECT_EQ(lines, 1 + 803) << "header and every row of module 3";
  EXPECT_TRUE(test::Child<QLabel>(*widget, "Status")->text().contains("exported to")) << test::Child<QLabel>(*widget, "Status")->text().toStdString();

  saveAnswer = QString::fromStdString(folder.File("frames.jsonl"));
  widget->ExportClick();
  std::ifstream json(folder.File("frames.jsonl"));
  std::string first;
  std::getline(json, first);
  EXPECT_EQ(nlohmann::json::parse(first)["address"], 3);

  saveAnswer = QString::fromStdString(folder.File("frames.pcap"));
  widget->ExportClick();
  EXPECT_EQ(test::ReadCaptureFile(folder.File("frames.pcap")).records.size(), 802u) << "every frame but the no reply";
  EXPECT_EQ(test::ReadCaptureFile(folder.File("frames.pcap")).linkType, 147u);

  saveAnswer = QString::fromStdString(folder.File("missing/frames.csv"));
  widget->ExportClick();
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].startsWith("The frames could not be exported.: cannot write")) << warnings[0].toStdString();
  saveAnswer.clear();
  widget->ExportClick();  // cancelled
  EXPECT_EQ(warnings.size(), 1);
}

}  // namespace
}  // namespace veltra
