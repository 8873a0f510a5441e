// The serial row on a pseudo-terminal: "Create"/"Close" with the chosen line
// settings, requests written to the line, replies decoded into the window.
#include <gtest/gtest.h>
#include <termios.h>

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
  TForm1 form{TestOptions(dialogs)};
  Pty pty;

  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    dialogs.messages.clear();  // the missing scene database at start-up
    form.chk1->setChecked(false);
    SelectPort(QString::fromStdString(pty.path()));
  }
  void SelectPort(const QString& path) {
    if (form.ComboBox5->findText(path) < 0) form.ComboBox5->addItem(path);
    form.ComboBox5->setCurrentText(path);
  }
  std::vector<QWidget*> SerialRow() const {
    return {form.ComboBox1, form.ComboBox2, form.ComboBox3, form.ComboBox4, form.ComboBox5, form.RadioButton2};
  }
};

TEST_F(SerialPanel, CreateSendReceiveAndClose) {
  form.ComboBox3->setCurrentText("Odd");
  form.ComboBox1->setCurrentText("19200");
  form.Button10->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_EQ(form.Button10->text(), "Close");
  EXPECT_EQ(form.StatusText(), "Com is running!");
  for (QWidget* w : SerialRow()) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(form.RadioButton1->isEnabled());
  // "Odd" is the fourth list item but TParity ordinal 1.
  EXPECT_EQ(form.Comm1->Parity(), TParity::Odd);
  EXPECT_EQ(form.Comm1->BaudRate(), 19200u);
  termios line{};
  ASSERT_EQ(tcgetattr(pty.slave(), &line), 0);
  // A pty clears PARENB but keeps PARODD: odd parity reached the line.
  EXPECT_TRUE(line.c_cflag & PARODD);

  form.SpinEdit1->SetValue(1);
  form.Button12->click();  // "Read Module Type", direct on the serial line
  EXPECT_EQ(Hex(pty.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 01 00 06"))));
  ASSERT_TRUE(pty.Send(WithChecksum(FromHex("55 AA 0B 01 80 06 01 01 2A"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Edit1->text() == "012A"; }, 3000));
  const QStringList log = LogText(form).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[1].endsWith("  OK!"));

  form.Button10->click();
  EXPECT_EQ(form.Button10->text(), "Create");
  EXPECT_TRUE(form.StatusText().isEmpty());
  EXPECT_FALSE(form.Comm1->IsOpen());
  for (QWidget* w : SerialRow()) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(SerialPanel, MonitorModeSendsAndDecodesRoutedFrames) {
  form.Button10->click();
  ASSERT_EQ(form.Button10->text(), "Close");
  form.CheckBox13->setChecked(true);
  form.SpinEdit7->SetValue(258);
  form.Button22->click();
  EXPECT_EQ(Hex(pty.Receive(10)), Hex(WithChecksum(FromHex("55 AA 0A 01 02 FF 00 05"))));
  ASSERT_TRUE(pty.Send(WithChecksum(FromHex("55 AA 0C 01 02 04 80 05 01 0C"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.SpinEdit1->Value() == 12; }, 3000));
}

TEST_F(SerialPanel, RepliesCarryingXonAndXoffBytesArriveWhole) {
  form.Button10->click();
  ASSERT_EQ(form.Button10->text(), "Close");
  termios line{};
  ASSERT_EQ(tcgetattr(pty.slave(), &line), 0);
  EXPECT_FALSE(line.c_iflag & IXON);
  EXPECT_FALSE(line.c_iflag & IXOFF);

  // Module 17 (0x11) answers type 00 13: an XON byte, then an XOFF byte.
  form.SpinEdit1->SetValue(17);
  form.Button12->click();
  EXPECT_EQ(Hex(pty.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 11 00 06"))));
  ASSERT_TRUE(pty.Send(WithChecksum(FromHex("55 AA 0B 11 80 06 01 00 13"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Edit1->text() == "0013"; }, 3000)) << form.Edit1->text().toStdString();

  // The 0x13 in that reply did not stop the console's transmitter.
  form.Button29->click();
  EXPECT_EQ(Hex(pty.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 11 00 07"))));
}

TEST_F(SerialPanel, OpenFailureShowsErrorAndKeepsTheRow) {
  SelectPort("/nonexistent/veltra-tty");
  form.ComboBox3->setCurrentText("Even");
  form.Button10->click();
  EXPECT_EQ(dialogs.messages, QStringList{"Error!"});
  EXPECT_EQ(form.Button10->text(), "Create");
  EXPECT_TRUE(form.StatusText().isEmpty());
  for (QWidget* w : SerialRow()) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  // The properties were written before the failed opening.
  EXPECT_EQ(form.Comm1->Parity(), TParity::Even);
  EXPECT_EQ(form.Comm1->CommName(), "/nonexistent/veltra-tty");
  // With the link closed a request is logged, and nothing else happens.
  form.Button23->click();
  EXPECT_EQ(LogText(form).split('\n', Qt::SkipEmptyParts).size(), 1);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(SerialPanel, StatusBarShowsTheLastLinkAndClosingEitherClearsIt) {
  LoopbackSocket far;
  form.Edit4->setText("127.0.0.1");
  form.Edit5->setText(QString::number(far.port()));
  form.Edit6->setText(QString::number(FreeUdpPort()));
  form.Button10->click();
  EXPECT_EQ(form.StatusText(), "Com is running!");
  form.Button32->click();
  EXPECT_EQ(form.StatusText(), "UDP is running!");
  form.Button10->click();  // serial closed, UDP still open
  EXPECT_TRUE(form.StatusText().isEmpty());
  EXPECT_EQ(form.Button32->text(), "Close");
  form.Button10->click();
  EXPECT_EQ(form.StatusText(), "Com is running!");
  // Closing the window closes both links.
  form.close();
  EXPECT_FALSE(form.Comm1->IsOpen());
  EXPECT_FALSE(form.IdUDPClient1.Active());
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
}

}  // namespace
}  // namespace veltra::test
