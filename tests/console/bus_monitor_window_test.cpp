// The window's Bus Monitor against the simulated bus, over each link: every
// request and reply crosses into it decoded by name with its round trip,
// while the monitor log keeps its lines; the Line Health panel counts them;
// View shows the docks, File > "Open Site Plan…" names the modules; frames
// heard unasked are there too; and a second window finds the first one's
// frames in the history.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "console/spin_edit.h"
#include "console_support.h"
#include "monitor/bus_monitor_docks.h"
#include "monitor/line_health_panel.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

enum class Via { Udp, Serial };

class BusMonitorWindow : public ::testing::TestWithParam<Via> {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::string history;
  std::unique_ptr<TForm1> form;

  void SetUp() override { history = folder.filePath("history.sqlite").toStdString(); }

  void Start(SimulatorOptions simulation = {}) {
    if (!QFile::exists(folder.filePath("Veltra.mdb")))
      CreateSceneDatabase(QStringLiteral(VELTRA_SCENE_SCHEMA), folder.filePath("Veltra.mdb"));
    TForm1Options options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    options.historyPath = history;
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<TForm1>(options);
    if (GetParam() == Via::Udp) {
      form->RadioButton1->setChecked(true);
      form->Button32->click();
      ASSERT_EQ(form->Button32->text(), "Close");
    } else {
      form->RadioButton2->setChecked(true);
      form->Button10->click();
      ASSERT_EQ(form->Button10->text(), "Close");
    }
  }
  BusMonitorDocks& Docks() { return *form->BusMonitor(); }
  BusMonitorModel& Model() { return *Docks().Monitor()->Model(); }
  QString Cell(int row, int column) { return Model().index(row, column).data().toString(); }
  // Waits until the monitor shows at least `rows` rows.
  bool WaitForRows(int rows) {
    return QTest::qWaitFor(
        [&] {
          Docks().Monitor()->Tick();
          return Model().rowCount() >= rows;
        },
        5000);
  }
};

TEST_P(BusMonitorWindow, RequestsAndRepliesShowByNameWithTheirRoundTrip) {
  Start();
  ASSERT_TRUE(Docks().ShowMonitor);
  EXPECT_FALSE(Docks().MonitorDock->isVisible());
  form->show();
  Docks().ShowMonitor->trigger();
  EXPECT_TRUE(Docks().MonitorDock->isVisible());
  EXPECT_EQ(Docks().MonitorDock->windowTitle(), "Bus Monitor");

  form->SpinEdit1->SetValue(3);
  ASSERT_TRUE(ClickAndWait(*form, form->Button12));  // Read Module Type of module 3
  form->SpinEdit1->SetValue(9);
  ASSERT_TRUE(ClickAndWait(*form, form->Button12));  // nobody at 9
  ASSERT_TRUE(WaitForRows(4));

  const bool udp = GetParam() == Via::Udp;
  const QString link = udp ? QStringLiteral("TCP/IP 127.0.0.1:%1").arg(form->Simulator()->UdpPort())
                           : "Com " + QString::fromStdString(form->Simulator()->PtySlavePath());
  EXPECT_EQ(Cell(0, BusMonitorModel::DirColumn), "Sent");
  EXPECT_EQ(Cell(0, BusMonitorModel::CommandColumn), "ReadModuleType");
  EXPECT_EQ(Cell(0, BusMonitorModel::AddressColumn), "3");
  EXPECT_EQ(Cell(0, BusMonitorModel::SubnetColumn), udp ? "1" : "");
  EXPECT_EQ(Cell(0, BusMonitorModel::LinkColumn), link);
  EXPECT_EQ(Cell(1, BusMonitorModel::DirColumn), "Received");
  EXPECT_EQ(Cell(1, BusMonitorModel::StatusColumn), "OK!");
  EXPECT_EQ(Cell(1, BusMonitorModel::DetailsColumn), "module type 0104");
  EXPECT_TRUE(Cell(1, BusMonitorModel::RoundTripColumn).endsWith(" ms")) << Cell(1, BusMonitorModel::RoundTripColumn).toStdString();
  EXPECT_EQ(Cell(1, BusMonitorModel::FlagsColumn), "");
  EXPECT_EQ(Cell(2, BusMonitorModel::AddressColumn), "9");
  EXPECT_EQ(Cell(3, BusMonitorModel::FlagsColumn), "no reply");
  // The monitor log keeps its own lines.
  const QStringList log = LogText(*form).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(log.first(), QString::fromUtf8("Send \uFF1AX"));
  EXPECT_EQ(log[1], QString::fromUtf8("Read \uFF1AX  OK!"));

  // Failures only: the request nobody answered.
  Docks().Monitor()->FailuresOnly->setChecked(true);
  EXPECT_EQ(Model().rowCount(), 1);
  EXPECT_EQ(Cell(0, BusMonitorModel::FlagsColumn), "no reply");

  // The Line Health panel counts both modules' requests.
  Docks().ShowHealth->trigger();
  LineHealthPanel* health = Docks().Health();
  health->Span->setCurrentText("This session");
  ASSERT_EQ(health->Modules->rowCount(), 2);
  EXPECT_EQ(health->Modules->item(0, 0)->text(), "3");
  EXPECT_EQ(health->Modules->item(0, 2)->text(), "1");
  EXPECT_EQ(health->Modules->item(0, 3)->text(), "1");
  EXPECT_EQ(health->Modules->item(1, 4)->text(), "1 (Warning)") << "module 9 never answered";
}

TEST_P(BusMonitorWindow, ModulesAreNamedFromTheSitePlanOpened) {
  Start();
  ASSERT_TRUE(Docks().OpenSitePlan);
  EXPECT_EQ(form->FileMenu->actions().value(0), Docks().OpenSitePlan);
  dialogs.openAnswer = QStringLiteral(VELTRA_EXAMPLE_PLAN);
  Docks().OpenSitePlan->trigger();
  EXPECT_EQ(dialogs.openQuestions, QStringList{"Open Site Plan"});
  ASSERT_FALSE(Docks().ModuleNames().empty()) << dialogs.details.join(';').toStdString();
  const QString hall = Docks().ModuleNames().at(1);
  form->show();
  Docks().ShowMonitor->trigger();
  form->SpinEdit1->SetValue(1);
  ASSERT_TRUE(ClickAndWait(*form, form->Button12));
  ASSERT_TRUE(WaitForRows(2));
  EXPECT_EQ(Cell(0, BusMonitorModel::AddressColumn), "1 " + hall);

  // A plan with problems says so and names nothing new.
  const QString broken = folder.filePath("broken.toml");
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("subnet = \"one\"\n");
  file.close();
  dialogs.openAnswer = broken;
  Docks().OpenSitePlan->trigger();
  EXPECT_EQ(dialogs.messages.last(), "The site plan has problems.");
  EXPECT_EQ(Docks().ModuleNames().at(1), hall);
}

TEST_P(BusMonitorWindow, FramesHeardUnaskedAreShownAndKept) {
  SimulatorOptions simulation;
  simulation.load.rate = 200;
  Start(simulation);
  if (GetParam() == Via::Udp) {
    // The bus switch sends to the host that last asked it.
    form->SpinEdit1->SetValue(3);
    ASSERT_TRUE(ClickAndWait(*form, form->Button12));
  }
  form->show();
  Docks().ShowMonitor->trigger();
  ASSERT_TRUE(WaitForRows(100));
  int heard = 0;
  for (int r = 0; r < Model().rowCount(); ++r)
    if (Cell(r, BusMonitorModel::FlagsColumn) == "unrelated frame") ++heard;
  EXPECT_GE(heard, 90);
  EXPECT_TRUE(LogText(*form).contains("Unrelated frame: ")) << "the monitor log as before";
}

TEST_P(BusMonitorWindow, ASecondWindowFindsTheFirstOnesFramesInTheHistory) {
  Start();
  form->SpinEdit1->SetValue(2);
  ASSERT_TRUE(ClickAndWait(*form, form->Button29));  // Read Version of module 2
  const std::int64_t first = Docks().Feed().Session();
  form.reset();  // closed: what it recorded is committed

  Start();
  EXPECT_GT(Docks().Feed().Session(), first);
  EXPECT_EQ(Model().rowCount(), 0) << "this session has sent nothing yet";
  Docks().Monitor()->Span->setCurrentText("Whole history");
  ASSERT_GE(Model().rowCount(), 2);
  EXPECT_EQ(Cell(0, BusMonitorModel::CommandColumn), "ReadVersion");
  EXPECT_EQ(Cell(1, BusMonitorModel::DetailsColumn), "version Light-8 V1.0");
}

INSTANTIATE_TEST_SUITE_P(Links, BusMonitorWindow, ::testing::Values(Via::Udp, Via::Serial),
                         [](const ::testing::TestParamInfo<Via>& info) {
                           return info.param == Via::Udp ? "Udp" : "Serial";
                         });

}  // namespace
}  // namespace veltra::test
