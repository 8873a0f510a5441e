// What the window keeps between runs (in a settings file of the test's own),
// what --simulate does with it, and the question before quitting with a
// link open.
#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>

#include "../serial/pty_fixture.h"
#include "console_support.h"

namespace veltra::test {
namespace {

class WindowSettings : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.isValid()); }
  std::unique_ptr<QSettings> Store() const {
    return std::make_unique<QSettings>(folder.filePath("veltra.ini"), QSettings::IniFormat);
  }
  MainWindowOptions Options(QSettings& settings) {
    MainWindowOptions options = TestOptions(dialogs);
    options.settings = &settings;
    return options;
  }
  MainWindowOptions Simulated(QSettings& settings) {
    MainWindowOptions options = Options(settings);
    SimulatorOptions simulation;
    simulation.pty = false;
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    return options;
  }

  QTemporaryDir folder;
  FakeDialogs dialogs;
};

TEST_F(WindowSettings, TheRowsTheLinkTheViewTheWindowAndTheFoldersComeBack) {
  const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
  const QString logs = folder.filePath("logs");
  ASSERT_TRUE(QDir().mkpath(logs));
  QList<int> split;
  {
    auto store = Store();
    MainWindow first(Options(*store));
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    Ports(first)->setEditText(byId);  // typed in, not plugged in now
    List(first, "ComboBox1")->setCurrentText("19200");
    List(first, "ComboBox2")->setCurrentText("7");
    List(first, "ComboBox3")->setCurrentText("Odd");
    List(first, "ComboBox4")->setCurrentText("2");
    Edit(first, "Edit4")->setText("bus-switch.site.example");
    Edit(first, "Edit5")->setText("2101");
    Edit(first, "Edit6")->setText("0");
    Spin(first, "SpinEdit7")->SetValue(7);
    Radio(first, "RadioButton1")->setChecked(true);
    Action(first, "ShowFrameBytes")->setChecked(true);
    Action(first, "Timestamps")->setChecked(true);
    first.resize(1100, 640);
    QCoreApplication::processEvents();
    auto* splitter = Control<QSplitter>(first, "Splitter1");
    splitter->setSizes({splitter->sizes()[0] - 40, splitter->sizes()[1] + 40});
    split = splitter->sizes();
    dialogs.saveAnswer = logs + "/site.txt";
    Action(first, "SaveLog")->trigger();
    first.close();
  }
  auto store = Store();
  MainWindow second(Options(*store));
  EXPECT_EQ(Ports(second)->currentText(), byId);
  EXPECT_EQ(List(second, "ComboBox1")->currentText(), "19200");
  EXPECT_EQ(List(second, "ComboBox2")->currentText(), "7");
  EXPECT_EQ(List(second, "ComboBox3")->currentText(), "Odd");
  EXPECT_EQ(List(second, "ComboBox4")->currentText(), "2");
  EXPECT_EQ(Edit(second, "Edit4")->text(), "bus-switch.site.example");
  EXPECT_EQ(Edit(second, "Edit5")->text(), "2101");
  EXPECT_EQ(Edit(second, "Edit6")->text(), "0");
  EXPECT_EQ(Spin(second, "SpinEdit7")->Value(), 7);
  EXPECT_TRUE(Radio(second, "RadioButton1")->isChecked());
  EXPECT_TRUE(Action(second, "ShowFrameBytes")->isChecked());
  EXPECT_FALSE(Check(second, "chk1")->isChecked()) << "the log shows the bytes";
  EXPECT_TRUE(Action(second, "Timestamps")->isChecked());
  second.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
  EXPECT_EQ(second.size(), QSize(1100, 640));
  EXPECT_EQ(Control<QSplitter>(second, "Splitter1")->sizes(), split);
  dialogs.saveAnswer.clear();
  Action(second, "SaveLog")->trigger();
  EXPECT_TRUE(dialogs.saveQuestions.last().startsWith("Save Log\n" + logs + '/')) << dialogs.saveQuestions.last().toStdString();
}

// Under --simulate the rows point at the simulated bus, and the rows saved
// from a run against the hardware are there again afterwards.
TEST_F(WindowSettings, SimulationStartsFromTheSimulatorAndLeavesTheSavedRowsAlone) {
  {
    auto store = Store();
    MainWindow hardware(Options(*store));
    Edit(hardware, "Edit4")->setText("10.1.2.3");
    Edit(hardware, "Edit5")->setText("2101");
    Radio(hardware, "RadioButton1")->setChecked(true);
    hardware.close();
  }
  {
    auto store = Store();
    MainWindow simulated(Simulated(*store));
    EXPECT_EQ(Edit(simulated, "Edit4")->text(), "127.0.0.1");
    EXPECT_EQ(Edit(simulated, "Edit5")->text(), QString::number(simulated.Simulator()->UdpPort()));
    EXPECT_TRUE(Radio(simulated, "RadioButton2")->isChecked());
    Spin(simulated, "SpinEdit7")->SetValue(9);
    simulated.close();
  }
  auto store = Store();
  MainWindow hardware(Options(*store));
  EXPECT_EQ(Edit(hardware, "Edit4")->text(), "10.1.2.3");
  EXPECT_EQ(Edit(hardware, "Edit5")->text(), "2101");
  EXPECT_EQ(Spin(hardware, "SpinEdit7")->Value(), 1);
  EXPECT_TRUE(Radio(hardware, "RadioButton1")->isChecked());
}

// "Quit" with a link open asks once, whatever is open, with No the answer
// that keeps the window; the question can be turned off, and stays off.
TEST_F(WindowSettings, QuitAsksOnceWithALinkOpenAndCanBeToldNotToAsk) {
  LoopbackSocket far;
  Pty line;
  ASSERT_TRUE(line.ok());
  {
    auto store = Store();
    MainWindow window(Options(*store));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.close();  // nothing open: no question
    EXPECT_TRUE(dialogs.quitQuestions.isEmpty());
    window.show();
    Edit(window, "Edit4")->setText("127.0.0.1");
    Edit(window, "Edit5")->setText(QString::number(far.port()));
    Edit(window, "Edit6")->setText("0");
    Button(window, "Button32")->click();
    SelectPort(window, QString::fromStdString(line.path()));
    Button(window, "Button10")->click();
    ASSERT_EQ(window.StatusText(), "Com is running!  UDP is running!");

    dialogs.quitAnswers = {{false, true}};
    Action(window, "Quit")->trigger();
    EXPECT_EQ(dialogs.quitQuestions, QStringList{"Both links are open. Quit and close them?"});
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.StatusText(), "Com is running!  UDP is running!");

    dialogs.quitAnswers = {{true, false}};  // and do not ask again
    Action(window, "Quit")->trigger();
    EXPECT_EQ(dialogs.quitQuestions.size(), 2);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Controller().Serial().IsOpen());
    EXPECT_FALSE(window.Controller().Network().IsOpen());
  }
  auto store = Store();
  MainWindow window(Options(*store));
  window.show();
  Edit(window, "Edit4")->setText("127.0.0.1");
  Button(window, "Button32")->click();
  ASSERT_EQ(window.StatusText(), "UDP is running!");
  window.close();
  EXPECT_EQ(dialogs.quitQuestions.size(), 2);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace veltra::test
