// "Tools" > "Site Plan…" on the window in simulation mode, over each link:
// planned beside found after a scan, Apply, Verify and Test through the
// window's exchange (the operator's answers and an input pressed), Stop,
// and the report exported as HTML and PDF.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>

#include "console/site_plan_dialog.h"
#include "console_support.h"

namespace veltra::test {
namespace {

class SitePlanWindow : public ::testing::TestWithParam<bool> {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::unique_ptr<MainWindow> form;
  SitePlanDialog* sitePlan = nullptr;

  void Open(const std::string& population) {
    MainWindowOptions options = TestOptions(dialogs);
    SimulatorOptions simulation;
    simulation.population = ParsePopulation(population);
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<MainWindow>(options);
    dialogs.messages.clear();
    const bool network = GetParam();
    (network ? Radio(*form, "RadioButton1") : Radio(*form, "RadioButton2"))->setChecked(true);
    (network ? Button(*form, "Button32") : Button(*form, "Button10"))->click();
    ASSERT_EQ(Caption(*form, network ? "Button32" : "Button10"), "Close");
    Action(*form, "SitePlan")->trigger();
    sitePlan = form->findChild<SitePlanDialog*>("SitePlan");
    ASSERT_NE(sitePlan, nullptr);
  }
  // The example plan, told the simulator's port.
  QString ExamplePlan() {
    std::ifstream in(VELTRA_EXAMPLE_PLAN);
    std::ostringstream text;
    text << in.rdbuf();
    std::string plan = text.str();
    const std::string port = "port = 2001";
    plan.replace(plan.find(port), port.size(), "port = " + std::to_string(form->Simulator()->UdpPort()));
    const QString path = folder.filePath("site.toml");
    std::ofstream(path.toStdString()) << plan;
    return path;
  }
  QString Cell(QTableWidget* table, int row, int column) const {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
  }
  void Run(QPushButton* button, int ms = 20000) {
    button->click();
    EXPECT_TRUE(sitePlan->Running());
    EXPECT_FALSE(Action(*form, "OpenSitePlan")->isEnabled()) << "a run keeps its plan";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sitePlan->Running(); }, ms)) << sitePlan->Status->text().toStdString();
    EXPECT_TRUE(Action(*form, "OpenSitePlan")->isEnabled());
  }
};

TEST_P(SitePlanWindow, ShowsPlannedBesideFoundAfterAScan) {
  Open("curtain@1,light@2,light@6");
  const QString bad = folder.filePath("bad.toml");
  std::ofstream(bad.toStdString()) << "[[module]]\naddress = 40\n";
  EXPECT_FALSE(sitePlan->LoadPlan(bad));
  EXPECT_EQ(dialogs.messages.value(0), "The plan has mistakes.");
  EXPECT_EQ(dialogs.details.value(0), "bad.toml:2:11: module address 40 is out of range (1-32)");
  EXPECT_FALSE(sitePlan->ApplyButton->isEnabled()) << "no plan yet";

  ASSERT_TRUE(sitePlan->LoadPlan(ExamplePlan()));
  EXPECT_EQ(sitePlan->windowTitle(), "Site Plan");
  EXPECT_FALSE(sitePlan->isModal());
  EXPECT_TRUE(sitePlan->TestButton->isEnabled());
  sitePlan->To->setValue(6);
  Run(sitePlan->ScanButton);
  std::vector<std::vector<QString>> rows;
  for (int r = 0; r < sitePlan->Modules->rowCount(); ++r)
    rows.push_back({Cell(sitePlan->Modules, r, 0), Cell(sitePlan->Modules, r, 2), Cell(sitePlan->Modules, r, 3),
                    Cell(sitePlan->Modules, r, 4)});
  EXPECT_EQ(rows, (std::vector<std::vector<QString>>{{"1", "0208", "0104", "type differs"},
                                                     {"2", "0208", "0208", "matched"},
                                                     {"3", "0104", "", "missing"},
                                                     {"4", "0301", "", "missing"},
                                                     {"5", "0408", "", "missing"},
                                                     {"6", "", "0208", "unplanned"}}));
  EXPECT_EQ(sitePlan->Progress->value(), 6);
  // Every request went through the window's exchange and into its log.
  EXPECT_GE(LogText(*form).count(QStringLiteral("Send")), 6);
}

TEST_P(SitePlanWindow, AppliesVerifiesAndTestsThroughTheWindowsExchangeAndExportsTheReport) {
  Open("default");
  ASSERT_TRUE(sitePlan->LoadPlan(ExamplePlan()));
  Run(sitePlan->ApplyButton);
  EXPECT_EQ(sitePlan->Results->rowCount(), 13);
  EXPECT_EQ(Cell(sitePlan->Results, 0, 0), "bus switch: network settings, subnet 1");
  EXPECT_EQ(Cell(sitePlan->Results, 12, 1), "confirmed");
  EXPECT_EQ(sitePlan->Status->text(), "Applied: 13 of 13 confirmed");
  EXPECT_EQ(form->Simulator()->Bus().Module(5)->bindings.size(), 3u);

  Run(sitePlan->VerifyButton);
  EXPECT_EQ(sitePlan->Status->text(), "Verified: no drift");
  EXPECT_EQ(sitePlan->Results->rowCount(), 0);

  // The operator: module 3 blinked; input 1 of module 5 is pressed when asked.
  dialogs.answers = {true};
  sitePlan->TestButton->click();
  EXPECT_FALSE(Button(*form, "Button2")->isEnabled()) << "the window's own requests wait";
  EXPECT_EQ(Button(*form, "Button2")->toolTip(), "A site plan run is going on");
  ASSERT_TRUE(QTest::qWaitFor([&] { return sitePlan->Prompt->text().startsWith("Press input 1 on module 5"); }, 10000));
  form->Simulator()->PressInput(5, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !sitePlan->Running(); }, 10000));
  EXPECT_EQ(sitePlan->Status->text(), "Tested: 7 passed, 0 failed, 0 manual");
  EXPECT_EQ(dialogs.confirms.value(0), "Did module 3 (Living room curtains) blink?");
  ASSERT_EQ(sitePlan->Results->rowCount(), 7);
  EXPECT_EQ(Cell(sitePlan->Results, 5, 1), "passed");
  EXPECT_EQ(Cell(sitePlan->Results, 5, 2), "heard Toggle to module 1 (Hall and stairs lights) output 1");
  EXPECT_TRUE(Button(*form, "Button2")->isEnabled());

  dialogs.saveAnswer = folder.filePath("handover.html");
  sitePlan->ExportButton->click();
  QFile html(dialogs.saveAnswer);
  ASSERT_TRUE(html.open(QIODevice::ReadOnly));
  const QString report = QString::fromUtf8(html.readAll());
  EXPECT_TRUE(report.contains("<h1>Handover report: Small house, 3 Elm Street</h1>"));
  EXPECT_TRUE(report.contains("Result: PASSED"));
  dialogs.saveAnswer = folder.filePath("handover.pdf");
  sitePlan->ExportButton->click();
  EXPECT_GT(QFile(dialogs.saveAnswer).size(), 1000);
  dialogs.saveAnswer = folder.filePath("no-such-folder/handover.html");
  sitePlan->ExportButton->click();
  EXPECT_EQ(dialogs.messages.value(0), "The report could not be written.");
}

TEST_P(SitePlanWindow, StopEndsARunAtOnce) {
  Open("light@1");
  ASSERT_TRUE(sitePlan->LoadPlan(ExamplePlan()));
  sitePlan->TestButton->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return sitePlan->Results->rowCount() >= 1; }, 10000));
  sitePlan->StopButton->click();
  EXPECT_FALSE(sitePlan->Running());
  EXPECT_EQ(sitePlan->Status->text(), "Stopped");
  EXPECT_TRUE(form->RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(sitePlan->ExportButton->isEnabled()) << "what was tested can be reported";
  const int sent = LogText(*form).count(QStringLiteral("Send"));
  QTest::qWait(200);
  EXPECT_EQ(LogText(*form).count(QStringLiteral("Send")), sent) << "nothing sent after Stop";
}

INSTANTIATE_TEST_SUITE_P(Links, SitePlanWindow, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Udp" : "Serial"; });

TEST(ToolsMenu, SitePlanOpensOneDialogWhateverTheClicks) {
  FakeDialogs dialogs;
  MainWindow form(TestOptions(dialogs));
  ASSERT_NE(Action(form, "SitePlan"), nullptr);
  EXPECT_EQ(Action(form, "SitePlan")->text(), "Site &Plan\u2026");
  Action(form, "SitePlan")->trigger();
  Action(form, "SitePlan")->trigger();
  EXPECT_EQ(form.findChildren<SitePlanDialog*>().size(), 1);
}

}  // namespace
}  // namespace veltra::test
