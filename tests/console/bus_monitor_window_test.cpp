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
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "console/site_plan_dialog.h"
#include "console_support.h"
#include "monitor/bus_monitor_widget.h"

namespace veltra::test {
namespace {

enum class Via { Udp, Serial };
void PrintTo(Via via, std::ostream* out) { *out << (via == Via::Udp ? "UDP" : "serial line"); }

class BusMonitorWindow : public ::testing::TestWithParam<Via> {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::string history;
  std::unique_ptr<MainWindow> form;

  void SetUp() override { history = folder.filePath("history.sqlite").toStdString(); }

  void Start(SimulatorOptions simulation = {}) {
    if (!QFile::exists(folder.filePath("Veltra.mdb"))) MakeSceneDatabase(folder.filePath("Veltra.mdb"));
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    options.historyPath = history;
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<MainWindow>(options);
    const bool network = GetParam() == Via::Udp;
    Radio(*form, network ? "RadioButton1" : "RadioButton2")->setChecked(true);
    Button(*form, network ? "Button32" : "Button10")->click();
    ASSERT_EQ(Caption(*form, network ? "Button32" : "Button10"), "Close");
  }
  BusMonitorWidget* Monitor() { return Control<BusMonitorWidget>(*form, "BusMonitor"); }
  BusMonitorModel& Model() { return *Monitor()->Model(); }
  QWidget* Health() { return Control<QWidget>(*form, "LineHealth"); }
  QDockWidget* Dock(const char* name) { return Control<QDockWidget>(*form, name); }
  QString Cell(int row, int column) { return Model().index(row, column).data().toString(); }
  // Reads the module type of this address, and waits until it is over.
  bool ReadModuleType(int address) {
    Spin(*form, "SpinEdit1")->SetValue(address);
    return ClickAndWait(*form, Button(*form, "Button12"));
  }
  // Waits until the monitor shows at least `rows` rows.
  bool WaitForRows(int rows) {
    return QTest::qWaitFor(
        [&] {
          Monitor()->Tick();
          return Model().rowCount() >= rows;
        },
        5000);
  }
};

TEST_P(BusMonitorWindow, RequestsAndRepliesShowByNameWithTheirRoundTrip) {
  Start();
  QDockWidget* dock = Dock("BusMonitorDock");
  EXPECT_FALSE(dock->isVisible());
  form->show();
  Action(*form, "ShowBusMonitor")->trigger();
  EXPECT_TRUE(dock->isVisible());
  EXPECT_EQ(dock->windowTitle(), "Bus Monitor");

  ASSERT_TRUE(ReadModuleType(3));
  ASSERT_TRUE(ReadModuleType(9));  // nobody there
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
  ASSERT_GE(log.size(), 2);
  EXPECT_EQ(log.first(), QString::fromUtf8("Send \uFF1AX"));
  EXPECT_EQ(log[1], QString::fromUtf8("Read \uFF1AX  OK!"));

  // Failures only: the request nobody answered.
  Control<QCheckBox>(*Monitor(), "FailuresOnly")->setChecked(true);
  EXPECT_EQ(Model().rowCount(), 1);
  EXPECT_EQ(Cell(0, BusMonitorModel::FlagsColumn), "no reply");

  // The Line Health panel counts both modules' requests.
  Action(*form, "ShowLineHealth")->trigger();
  EXPECT_TRUE(Dock("LineHealthDock")->isVisible());
  Control<QComboBox>(*Health(), "Span")->setCurrentText("This session");
  const QTableWidget* modules = Control<QTableWidget>(*Health(), "Modules");
  ASSERT_EQ(modules->rowCount(), 2);
  EXPECT_EQ(modules->item(0, 0)->text(), "3");
  EXPECT_EQ(modules->item(0, 2)->text(), "1");
  EXPECT_EQ(modules->item(0, 3)->text(), "1");
  EXPECT_EQ(modules->item(1, 4)->text(), "1 (Warning)") << "module 9 never answered";
}

TEST_P(BusMonitorWindow, ModulesAreNamedFromTheSitePlanOpened) {
  Start();
  EXPECT_EQ(Menu(*form, "FileMenu")->actions().value(0), Action(*form, "OpenSitePlan"));
  dialogs.openAnswer = QStringLiteral(VELTRA_EXAMPLE_PLAN);
  Action(*form, "OpenSitePlan")->trigger();
  EXPECT_EQ(dialogs.openQuestions, QStringList{"Open Site Plan"});
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.details.join(';').toStdString();
  // The one site plan of the window: the Site Plan dialog has it too.
  const auto* sitePlan = form->findChild<SitePlanDialog*>("SitePlan");
  ASSERT_NE(sitePlan, nullptr);
  EXPECT_TRUE(Label(*form, "PlanName")->text().startsWith("site-plan.toml: "))
      << Label(*form, "PlanName")->text().toStdString();
  ASSERT_EQ(sitePlan->ModuleNames().count(1), 1u);
  const QString hall = sitePlan->ModuleNames().at(1);
  form->show();
  Action(*form, "ShowBusMonitor")->trigger();
  ASSERT_TRUE(ReadModuleType(1));
  ASSERT_TRUE(WaitForRows(2));
  EXPECT_EQ(Cell(0, BusMonitorModel::AddressColumn), "1 " + hall);

  // A plan with mistakes says so and names nothing new.
  const QString broken = folder.filePath("broken.toml");
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("subnet = \"one\"\n");
  file.close();
  dialogs.openAnswer = broken;
  Action(*form, "OpenSitePlan")->trigger();
  ASSERT_FALSE(dialogs.messages.isEmpty());
  EXPECT_EQ(dialogs.messages.last(), "The plan has mistakes.");
  EXPECT_EQ(sitePlan->ModuleNames().at(1), hall);
  EXPECT_EQ(Cell(0, BusMonitorModel::AddressColumn), "1 " + hall);
}

TEST_P(BusMonitorWindow, FramesHeardUnaskedAreShownAndKept) {
  SimulatorOptions simulation;
  simulation.load.rate = 200;
  Start(simulation);
  // The bus switch sends to the host that last asked it.
  if (GetParam() == Via::Udp) {
    ASSERT_TRUE(ReadModuleType(3));
  }
  form->show();
  Action(*form, "ShowBusMonitor")->trigger();
  ASSERT_TRUE(WaitForRows(100));
  int heard = 0;
  for (int r = 0; r < Model().rowCount(); ++r)
    if (Cell(r, BusMonitorModel::FlagsColumn) == "unrelated frame") ++heard;
  EXPECT_GE(heard, 90);
  EXPECT_TRUE(LogText(*form).contains("Unrelated frame: ")) << "the monitor log as before";
}

TEST_P(BusMonitorWindow, ASecondWindowFindsTheFirstOnesFramesInTheHistory) {
  Start();
  Spin(*form, "SpinEdit1")->SetValue(2);
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button29")));  // Read Version of module 2
  const std::int64_t first = form->Controller().History().Session();
  form.reset();  // closed: what it recorded is committed

  Start();
  EXPECT_GT(form->Controller().History().Session(), first);
  EXPECT_EQ(Model().rowCount(), 0) << "this session has sent nothing yet";
  Control<QComboBox>(*Monitor(), "Span")->setCurrentText("Whole history");
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
