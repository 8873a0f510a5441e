// Simulation mode of the window: what it sets up, how it shows that the bus
// is simulated, and that a normal window has none of it; the link each
// request takes with both links open, and the names of the module types.
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
  MainWindowOptions options = TestOptions(dialogs);
  options.busSwitchBroadcastHost = "192.168.14.255";  // the real default; never sent to here
  options.simulator = std::make_shared<SimulatorRuntime>();
  MainWindow form(options);
  ASSERT_NE(form.Simulator(), nullptr);
  const int port = form.Simulator()->UdpPort();
  const QString line = QString::fromStdString(form.Simulator()->PtySlavePath());
  ASSERT_NE(port, 0);
  ASSERT_FALSE(line.isEmpty());

  EXPECT_EQ(form.Controller().BusSwitchBroadcastHost(), "127.0.0.1");
  EXPECT_EQ(Edit(form, "Edit4")->text(), "127.0.0.1");
  EXPECT_EQ(Edit(form, "Edit5")->text(), QString::number(port));
  EXPECT_NE(Edit(form, "Edit6")->text().toInt(), 0);
  EXPECT_EQ(Ports(form)->currentText(), line);
  EXPECT_GE(Ports(form)->findText("COM1"), 0);  // the usual names stay

  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Veltra --V01 \u2014 SIMULATED BUS"));
  auto* banner = form.findChild<QLabel*>("SimulationBanner");
  ASSERT_NE(banner, nullptr);
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
  MainWindowOptions options = TestOptions(dialogs);
  SimulatorOptions simulation;
  simulation.pty = false;
  options.simulator = std::make_shared<SimulatorRuntime>(simulation);
  options.simulationLocalPort = FreeUdpPort();
  EXPECT_EQ(Edit(MainWindow(options), "Edit6")->text(), QString::number(options.simulationLocalPort));

  LoopbackSocket holder;
  options.simulationLocalPort = holder.port();
  MainWindow form(options);
  dialogs.messages.clear();  // the missing scene database at start-up
  const int chosen = Edit(form, "Edit6")->text().toInt();
  EXPECT_NE(chosen, holder.port());
  EXPECT_GT(chosen, 0);
  Radio(form, "RadioButton1")->setChecked(true);
  Button(form, "Button32")->click();
  EXPECT_EQ(Caption(form, "Button32"), "Close");
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
}

TEST(SimulationMode, SimulatorLogGoesToTheCallerAndTheTooltipNotToTheMonitorLog) {
  FakeDialogs dialogs;
  MainWindowOptions options = TestOptions(dialogs);
  SimulatorOptions simulation;
  simulation.pty = false;
  std::mutex mutex;
  std::vector<std::string> lines;
  simulation.log = [&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  };
  options.simulator = std::make_shared<SimulatorRuntime>(simulation);
  MainWindow form(options);
  EXPECT_FALSE(Label(form, "SimulationBanner")->text().contains("serial"));
  Radio(form, "RadioButton1")->setChecked(true);
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button12")));  // "Read Module Type" of module 1: request and reply logged
  EXPECT_EQ(Edit(form, "Edit1")->text(), "0208") << Edit(form, "Edit1")->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Label(form, "SimulationBanner")->toolTip().count('\n') >= 2; }, 3000));
  {
    std::lock_guard lock(mutex);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(Label(form, "SimulationBanner")->toolTip().contains(QString::fromStdString(lines.back())));
  }
  // The monitor log has the window's own two lines and nothing of the simulator.
  EXPECT_EQ(LogText(form).split('\n', Qt::SkipEmptyParts).size(), 2);
  EXPECT_FALSE(LogText(form).contains("[udp]"));
}

TEST(SimulationMode, NormalWindowHasNoneOfIt) {
  FakeDialogs dialogs;
  MainWindowOptions options = TestOptions(dialogs);
  options.busSwitchBroadcastHost = MainWindowOptions{}.busSwitchBroadcastHost;  // the window's own default
  MainWindow form(options);
  EXPECT_EQ(form.Simulator(), nullptr);
  EXPECT_EQ(form.findChild<QLabel*>("SimulationBanner"), nullptr);
  EXPECT_EQ(form.windowTitle(), "Veltra --V01");
  EXPECT_EQ(form.Controller().BusSwitchBroadcastHost(), "192.168.14.255");
  EXPECT_EQ(Edit(form, "Edit4")->text(), "192.168.14.3");
  EXPECT_EQ(Edit(form, "Edit5")->text(), "2001");
  EXPECT_EQ(Edit(form, "Edit6")->text(), "2002");
  for (int i = 0; i < Ports(form)->count(); ++i)
    EXPECT_FALSE(Ports(form)->itemText(i).startsWith("/dev/pts/")) << Ports(form)->itemText(i).toStdString();
  EXPECT_EQ(Ports(form)->currentText(), "COM1");
}

// "Create" on a row chooses that row's link, and the choice stays free while
// links are open: with both open, each request takes the one chosen.
TEST(SimulationMode, CreateChoosesItsRowsLinkAndTheChoiceStaysFreeWithBothOpen) {
  FakeDialogs dialogs;
  MainWindowOptions options = TestOptions(dialogs);
  options.simulator = std::make_shared<SimulatorRuntime>();
  MainWindow form(options);
  dialogs.messages.clear();  // no scene database here, and none needed
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_TRUE(Radio(form, "RadioButton2")->isChecked());  // "Com " at start
  Spin(form, "SpinEdit1")->SetValue(1);

  Button(form, "Button32")->click();  // "Create" of the network row
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  EXPECT_TRUE(Radio(form, "RadioButton1")->isChecked());
  EXPECT_TRUE(Radio(form, "RadioButton1")->isEnabled());
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button12")));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "0208") << form.ExchangeText().toStdString();

  Button(form, "Button10")->click();  // and the serial row's
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_TRUE(Radio(form, "RadioButton2")->isChecked());
  EXPECT_TRUE(Radio(form, "RadioButton1")->isEnabled());
  EXPECT_TRUE(Radio(form, "RadioButton2")->isEnabled());
  const auto logged = [&] { return LogText(form).split('\n', Qt::SkipEmptyParts).size(); };
  const auto before = logged();
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));  // over the serial line
  EXPECT_EQ(Edit(form, "Edit2")->text(), "Light-8 V1.0");
  EXPECT_EQ(logged(), before + 2);

  // Back to the network link with a click, both still open.
  QTest::mouseClick(Radio(form, "RadioButton1"), Qt::LeftButton);
  ASSERT_TRUE(Radio(form, "RadioButton1")->isChecked());
  Edit(form, "Edit1")->clear();
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button12")));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "0208");
  EXPECT_TRUE(form.ExchangeText().startsWith("Reply in ")) << form.ExchangeText().toStdString();
  EXPECT_TRUE(dialogs.errors.isEmpty() && dialogs.messages.isEmpty())
      << (dialogs.errors + dialogs.messages).join(';').toStdString();
}

// Beside the four hex digits of a module type, the name the catalogue
// gives it, as the simulated modules name themselves in their versions.
TEST(SimulationMode, ModuleTypesAreNamedBesideTheirCodes) {
  FakeDialogs dialogs;
  MainWindowOptions options = TestOptions(dialogs);
  options.simulator = std::make_shared<SimulatorRuntime>();
  MainWindow form(options);
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  for (const int address : {1, 3, 4, 5}) {
    SCOPED_TRACE(address);
    Spin(form, "SpinEdit1")->SetValue(address);
    ASSERT_TRUE(ClickAndWait(form, Button(form, "Button12")));
    ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));
    QLineEdit* type = Edit(form, "Edit1");
    EXPECT_EQ(type->text().size(), 4) << "the field keeps the code";
    EXPECT_FALSE(type->toolTip().isEmpty());
    EXPECT_TRUE(Edit(form, "Edit2")->text().startsWith(type->toolTip() + ' '))
        << type->toolTip().toStdString() << " / " << Edit(form, "Edit2")->text().toStdString();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(type)->text(QAccessible::Description), type->toolTip());
  }
  // The bus switch's own, too.
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button9")));
  EXPECT_EQ(Edit(form, "Edit13")->text(), "1001");
  EXPECT_EQ(Edit(form, "Edit13")->toolTip(), "Bus switch");
  // A request that goes empties the name with the code.
  Spin(form, "SpinEdit1")->SetValue(9);  // nobody there
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button12")));
  EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty());
  EXPECT_TRUE(Edit(form, "Edit1")->toolTip().isEmpty());
}

}  // namespace
}  // namespace veltra::test
