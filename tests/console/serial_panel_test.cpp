// The serial row on a pseudo-terminal: "Create"/"Close" with the chosen line
// settings, requests written to the line, replies decoded into the window.
#include <gtest/gtest.h>
#include <termios.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "serial/comm.h"

namespace veltra::test {
namespace {

class SerialPanel : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
  Pty pty;

  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    dialogs.messages.clear();  // the missing scene database at start-up
    Check(form, "chk1")->setChecked(false);
    SelectPort(QString::fromStdString(pty.path()));
  }
  void SelectPort(const QString& path) { veltra::test::SelectPort(form, path); }
  // The serial row's fields, locked while the line is open.
  std::vector<QWidget*> SerialRow() const {
    return {List(form, "ComboBox1"), List(form, "ComboBox2"), List(form, "ComboBox3"), List(form, "ComboBox4"),
            Ports(form)};
  }
};

TEST_F(SerialPanel, CreateSendReceiveAndClose) {
  List(form, "ComboBox3")->setCurrentText("Odd");
  List(form, "ComboBox1")->setCurrentText("19200");
  Button(form, "Button10")->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_EQ(form.StatusText(), "Com is running!");
  for (QWidget* w : SerialRow()) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(Radio(form, "RadioButton1")->isEnabled());
  EXPECT_TRUE(Radio(form, "RadioButton2")->isEnabled());
  // "Odd" is the fourth list item but TParity ordinal 1.
  EXPECT_EQ(form.Controller().Serial().Port().Parity(), TParity::Odd);
  EXPECT_EQ(form.Controller().Serial().Port().BaudRate(), 19200u);
  termios line{};
  ASSERT_EQ(tcgetattr(pty.slave(), &line), 0);
  // A pty clears PARENB but keeps PARODD: odd parity reached the line.
  EXPECT_TRUE(line.c_cflag & PARODD);

  Spin(form, "SpinEdit1")->SetValue(1);
  Button(form, "Button12")->click();  // "Read Module Type", direct on the serial line
  EXPECT_EQ(Hex(pty.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 01 00 06"))));
  ASSERT_TRUE(pty.Send(WithChecksum(FromHex("55 AA 0B 01 80 06 01 01 2A"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit1")->text() == "012A"; }, 3000));
  const QStringList log = LogText(form).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[1].endsWith("  OK!"));

  Button(form, "Button10")->click();
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  EXPECT_FALSE(form.Controller().Serial().Port().IsOpen());
  for (QWidget* w : SerialRow()) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(SerialPanel, MonitorModeSendsAndDecodesRoutedFrames) {
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  Check(form, "CheckBox13")->setChecked(true);
  Spin(form, "SpinEdit7")->SetValue(258);
  Button(form, "Button22")->click();
  EXPECT_EQ(Hex(pty.Receive(10)), Hex(WithChecksum(FromHex("55 AA 0A 01 02 FF 00 05"))));
  ASSERT_TRUE(pty.Send(WithChecksum(FromHex("55 AA 0C 01 02 04 80 05 01 0C"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Spin(form, "SpinEdit1")->Value() == 12; }, 3000));
}

TEST_F(SerialPanel, RepliesCarryingXonAndXoffBytesArriveWhole) {
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  termios line{};
  ASSERT_EQ(tcgetattr(pty.slave(), &line), 0);
  EXPECT_FALSE(line.c_iflag & IXON);
  EXPECT_FALSE(line.c_iflag & IXOFF);

  // Module 17 (0x11) answers type 00 13: an XON byte, then an XOFF byte.
  Spin(form, "SpinEdit1")->SetValue(17);
  Button(form, "Button12")->click();
  EXPECT_EQ(Hex(pty.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 11 00 06"))));
  ASSERT_TRUE(pty.Send(WithChecksum(FromHex("55 AA 0B 11 80 06 01 00 13"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit1")->text() == "0013"; }, 3000)) << Edit(form, "Edit1")->text().toStdString();

  // The 0x13 in that reply did not stop the console's transmitter.
  Button(form, "Button29")->click();
  EXPECT_EQ(Hex(pty.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 11 00 07"))));
}

TEST_F(SerialPanel, OpenFailureShowsErrorAndKeepsTheRow) {
  SelectPort("/nonexistent/veltra-tty");
  List(form, "ComboBox3")->setCurrentText("Even");
  Button(form, "Button10")->click();
  EXPECT_EQ(dialogs.messages, QStringList{"Error!"});
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  for (QWidget* w : SerialRow()) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  // The properties were written before the failed opening.
  EXPECT_EQ(form.Controller().Serial().Port().Parity(), TParity::Even);
  EXPECT_EQ(form.Controller().Serial().Port().CommName(), "/nonexistent/veltra-tty");
  // With the link closed a request is logged as not sent, and nothing else
  // happens.
  Button(form, "Button23")->click();
  EXPECT_EQ(LogText(form).split('\n', Qt::SkipEmptyParts),
            QStringList{QString::fromUtf8("Not sent \xEF\xBC\x9A") + "55 AA 08 01 00 09 54 BB "});
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

// The first panel of the status bar tells each open link, both side by
// side, and what is still open after one closes.
TEST_F(SerialPanel, StatusBarShowsEveryOpenLink) {
  LoopbackSocket far;
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit5")->setText(QString::number(far.port()));
  Edit(form, "Edit6")->setText(QString::number(FreeUdpPort()));
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  Button(form, "Button10")->click();
  EXPECT_EQ(form.StatusText(), "Com is running!");
  Button(form, "Button32")->click();
  EXPECT_EQ(form.StatusText(), "Com is running!  UDP is running!");
  Button(form, "Button10")->click();  // serial closed, UDP still open
  EXPECT_EQ(form.StatusText(), "UDP is running!");
  EXPECT_EQ(Caption(form, "Button32"), "Close");
  Button(form, "Button10")->click();
  EXPECT_EQ(form.StatusText(), "Com is running!  UDP is running!");
  Button(form, "Button32")->click();
  EXPECT_EQ(form.StatusText(), "Com is running!");
  // Assistive tools read what the panel shows.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(Label(form, "StatusBar1Panel"))->text(QAccessible::Name),
            "Com is running!");
  // Closing the window closes both links.
  Button(form, "Button32")->click();
  form.close();
  EXPECT_FALSE(form.Controller().Serial().Port().IsOpen());
  EXPECT_FALSE(form.Controller().Network().Client().Active());
  EXPECT_EQ(dialogs.quitQuestions.size(), 1);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
}

}  // namespace
}  // namespace veltra::test
