// "Tools" > "Scan Bus…" on the window in simulation mode, over each link:
// the simulated modules listed with types and versions, the exchanges in the
// monitor log, the window's requests held during the scan, "Stop",
// "Export…".
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "console/bus_scan_dialog.h"
#include "console/spin_edit.h"
#include "console_support.h"

namespace veltra::test {
namespace {

class BusScanWindow : public ::testing::TestWithParam<bool> {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::unique_ptr<MainWindow> form;
  BusScanDialog* scan = nullptr;

  void Open(const std::string& population, int delayMs = 0) {
    MainWindowOptions options = TestOptions(dialogs);
    SimulatorOptions simulation;
    simulation.population = ParsePopulation(population);
    simulation.faults.delayMs = delayMs;
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<MainWindow>(options);
    dialogs.messages.clear();  // no scene database here, and none needed
    const bool network = GetParam();
    (network ? Radio(*form, "RadioButton1") : Radio(*form, "RadioButton2"))->setChecked(true);
    (network ? Button(*form, "Button32") : Button(*form, "Button10"))->click();
    ASSERT_EQ(Caption(*form, network ? "Button32" : "Button10"), "Close");
    Action(*form, "ScanBus")->trigger();
    scan = form->findChild<BusScanDialog*>("BusScan");
    ASSERT_NE(scan, nullptr);
  }

  std::vector<std::vector<QString>> Table() const {
    std::vector<std::vector<QString>> rows;
    for (int r = 0; r < Control<QTableWidget>(*scan, "ScanTable")->rowCount(); ++r) {
      std::vector<QString> cells;
      for (int c = 0; c < 3; ++c) cells.push_back(Control<QTableWidget>(*scan, "ScanTable")->item(r, c)->text());
      rows.push_back(cells);
    }
    return rows;
  }
};

TEST_P(BusScanWindow, ListsTheSimulatedModulesAndLogsTheExchanges) {
  Open("light@1,curtain@3,ir@4,input@6");
  EXPECT_FALSE(scan->isModal());
  EXPECT_TRUE(scan->isVisible());
  EXPECT_EQ(scan->windowTitle(), "Bus Scan");
  Control<QSpinBox>(*scan, "From")->setValue(1);
  Control<QSpinBox>(*scan, "To")->setValue(8);
  Edit(*form, "Edit1")->setText("untouched");
  Button(*scan, "Start")->click();
  EXPECT_TRUE(scan->Running());
  EXPECT_FALSE(Button(*scan, "Start")->isEnabled());
  // The window's own requests wait meanwhile: their buttons say why, and a
  // click that still comes sends nothing.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QProgressBar>(*scan, "Progress")->value() >= 2; }, 5000));
  Spin(*form, "SpinEdit2")->SetValue(1);
  Spin(*form, "SpinEdit3")->SetValue(3);
  EXPECT_FALSE(Button(*form, "Button2")->isEnabled());
  EXPECT_EQ(Button(*form, "Button2")->toolTip(), "A bus scan is running");
  EXPECT_EQ(form->RequestsHeldBecause(), "A bus scan is running");
  Button(*form, "Button2")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scan->Running(); }, 10000));
  EXPECT_EQ(form->Simulator()->Bus().Module(1)->outputs[2], 0);
  // Available again after the scan, with the tooltip it had.
  EXPECT_TRUE(form->RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(Button(*form, "Button2")->toolTip().isEmpty());
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button2")));
  EXPECT_EQ(form->Simulator()->Bus().Module(1)->outputs[2], 1);
  EXPECT_EQ(Table(), (std::vector<std::vector<QString>>{{"1", "0208", "Light-8 V1.0"},
                                                        {"3", "0104", "Curtain-4 V1.0"},
                                                        {"4", "0301", "IR V1.0"},
                                                        {"6", "0408", "Input-8 V1.0"}}));
  EXPECT_EQ(Control<QProgressBar>(*scan, "Progress")->value(), 8);
  EXPECT_EQ(Control<QProgressBar>(*scan, "Progress")->maximum(), 8);
  EXPECT_EQ(Edit(*form, "Edit1")->text(), "untouched") << "scan replies stay out of the window's fields";
  // 8 type requests, 4 version requests and their 8 replies, masked as
  // usual, besides the light's request and reply.
  ASSERT_TRUE(QTest::qWaitFor([&] { return LogText(*form).count(QStringLiteral("Read")) == 9; }, 3000));
  const QStringList log = LogText(*form).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(log.filter(QStringLiteral("Send")).size(), 13) << log.join('\n').toStdString();
  EXPECT_TRUE(dialogs.errors.isEmpty() && dialogs.messages.isEmpty())
      << (dialogs.errors + dialogs.messages).join(';').toStdString();
}

TEST_P(BusScanWindow, StopEndsTheScanAtOnceAndExportWritesTheTable) {
  Open("light@1,light@2", 20);
  Button(*scan, "Start")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QProgressBar>(*scan, "Progress")->value() >= 2; }, 5000));
  Button(*scan, "Stop")->click();
  EXPECT_FALSE(scan->Running());
  EXPECT_TRUE(Button(*scan, "Start")->isEnabled());
  // At once, the window may send again.
  EXPECT_TRUE(form->RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(Button(*form, "Button12")->isEnabled());
  EXPECT_LT(Control<QProgressBar>(*scan, "Progress")->value(), 32);
  const int sent = LogText(*form).count(QStringLiteral("Send"));
  QTest::qWait(100);
  EXPECT_EQ(LogText(*form).count(QStringLiteral("Send")), sent) << "nothing sent after Stop";

  dialogs.saveAnswer = folder.filePath("scan.csv");
  Button(*scan, "Export")->click();
  QFile csv(dialogs.saveAnswer);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "Address,Module Type,Version,Reply (ms)");
  EXPECT_TRUE(lines[2].startsWith("2,0208,\"Light-8 V1.0\",")) << lines[2].toStdString();

  dialogs.saveAnswer = folder.filePath("no-such-folder/scan.csv");
  Button(*scan, "Export")->click();
  EXPECT_EQ(dialogs.messages.value(0), "The scan could not be exported.");
}

INSTANTIATE_TEST_SUITE_P(Links, BusScanWindow, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Udp" : "Serial"; });

TEST(ToolsMenu, ScanBusOpensOneDialogWhateverTheClicks) {
  FakeDialogs dialogs;
  MainWindow form(TestOptions(dialogs));
  Action(form, "ScanBus")->trigger();
  Action(form, "ScanBus")->trigger();
  EXPECT_EQ(form.findChildren<BusScanDialog*>().size(), 1);
}

}  // namespace
}  // namespace veltra::test
