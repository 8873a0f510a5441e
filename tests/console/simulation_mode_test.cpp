// Simulation mode of the window: what it sets up, how it shows that the bus
// is simulated, and that a normal window has none of it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <mutex>

#include "console_support.h"

namespace veltra::test {
namespace {

TEST(SimulationMode, WindowIsPointedAtTheSimulatedBusAndSaysSo) {
  FakeDialogs dialogs;
  TForm1Options options = TestOptions(dialogs);
  options.busSwitchBroadcastHost = "192.168.14.255";  // the real default; never sent to here
  options.simulator = std::make_shared<SimulatorRuntime>();
  TForm1 form(options);
  ASSERT_NE(form.Simulator(), nullptr);
  const int port = form.Simulator()->UdpPort();
  const QString line = QString::fromStdString(form.Simulator()->PtySlavePath());
  ASSERT_NE(port, 0);
  ASSERT_FALSE(line.isEmpty());

  EXPECT_EQ(form.BusSwitchBroadcastHost(), "127.0.0.1");
  EXPECT_EQ(form.Edit4->text(), "127.0.0.1");
  EXPECT_EQ(form.Edit5->text(), QString::number(port));
  EXPECT_NE(form.Edit6->text().toInt(), 0);
  EXPECT_EQ(form.ComboBox5->currentText(), line);
  EXPECT_GE(form.ComboBox5->findText("COM1"), 0);  // the usual names stay

  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Veltra --V01 \u2014 SIMULATED BUS"));
  auto* banner = form.findChild<QLabel*>("SimulationBanner");
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner, form.SimulationBanner);
  EXPECT_TRUE(banner->text().contains("SIMULATED BUS"));
  EXPECT_TRUE(banner->text().contains(QStringLiteral("127.0.0.1:%1").arg(port))) << banner->text().toStdString();
  EXPECT_TRUE(banner->text().contains(line)) << banner->text().toStdString();
  // Screen readers get where the bus is, too.
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(banner);
  ASSERT_NE(accessible, nullptr);
  const QString told = accessible->text(QAccessible::Name) + ' ' + accessible->text(QAccessible::Description);
  EXPECT_TRUE(told.contains(QStringLiteral("127.0.0.1:%1").arg(port))) << told.toStdString();
  EXPECT_TRUE(told.contains(line)) << told.toStdString();
  // First in the window's column, above the link panel and the tabs.
  EXPECT_EQ(form.centralWidget()->layout()->indexOf(banner), 0);
  form.show();
  EXPECT_TRUE(banner->isVisible());
}

TEST(SimulationMode, LocalPortIsThePreferredOneWhenFreeAndAnotherWhenTaken) {
  FakeDialogs dialogs;
  TForm1Options options = TestOptions(dialogs);
  SimulatorOptions simulation;
  simulation.pty = false;
  options.simulator = std::make_shared<SimulatorRuntime>(simulation);
  options.simulationLocalPort = FreeUdpPort();
  EXPECT_EQ(TForm1(options).Edit6->text(), QString::number(options.simulationLocalPort));

  LoopbackSocket holder;
  options.simulationLocalPort = holder.port();
  TForm1 form(options);
  dialogs.messages.clear();  // the missing scene database at start-up
  const int chosen = form.Edit6->text().toInt();
  EXPECT_NE(chosen, holder.port());
  EXPECT_GT(chosen, 0);
  form.RadioButton1->setChecked(true);
  form.Button32->click();
  EXPECT_EQ(form.Button32->text(), "Close");
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
}

TEST(SimulationMode, SimulatorLogGoesToTheCallerAndTheTooltipNotToTheMonitorLog) {
  FakeDialogs dialogs;
  TForm1Options options = TestOptions(dialogs);
  SimulatorOptions simulation;
  simulation.pty = false;
  std::mutex mutex;
  std::vector<std::string> lines;
  simulation.log = [&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  };
  options.simulator = std::make_shared<SimulatorRuntime>(simulation);
  TForm1 form(options);
  EXPECT_FALSE(form.SimulationBanner->text().contains("serial"));
  form.RadioButton1->setChecked(true);
  form.Button32->click();
  ASSERT_EQ(form.Button32->text(), "Close");
  ASSERT_TRUE(ClickAndWait(form, form.Button12));  // "Read Module Type" of module 1: request and reply logged
  EXPECT_EQ(form.Edit1->text(), "0208") << form.Edit1->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.SimulationBanner->toolTip().count('\n') >= 2; }, 3000));
  {
    std::lock_guard lock(mutex);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(form.SimulationBanner->toolTip().contains(QString::fromStdString(lines.back())));
  }
  // The monitor log has the window's own two lines and nothing of the simulator.
  EXPECT_EQ(LogText(form).split('\n', Qt::SkipEmptyParts).size(), 2);
  EXPECT_FALSE(LogText(form).contains("[udp]"));
}

TEST(SimulationMode, NormalWindowHasNoneOfIt) {
  FakeDialogs dialogs;
  TForm1Options options = TestOptions(dialogs);
  options.busSwitchBroadcastHost = TForm1Options{}.busSwitchBroadcastHost;  // the window's own default
  TForm1 form(options);
  EXPECT_EQ(form.Simulator(), nullptr);
  EXPECT_EQ(form.SimulationBanner, nullptr);
  EXPECT_EQ(form.findChild<QLabel*>("SimulationBanner"), nullptr);
  EXPECT_EQ(form.windowTitle(), "Veltra --V01");
  EXPECT_EQ(form.BusSwitchBroadcastHost(), "192.168.14.255");
  EXPECT_EQ(form.Edit4->text(), "192.168.14.3");
  EXPECT_EQ(form.Edit5->text(), "2001");
  EXPECT_EQ(form.Edit6->text(), "2002");
  for (int i = 0; i < form.ComboBox5->count(); ++i)
    EXPECT_FALSE(form.ComboBox5->itemText(i).startsWith("/dev/pts/")) << form.ComboBox5->itemText(i).toStdString();
  EXPECT_EQ(form.ComboBox5->currentText(), "COM1");
}

}  // namespace
}  // namespace veltra::test
