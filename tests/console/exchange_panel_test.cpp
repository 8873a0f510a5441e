// The status bar's second panel after a reply, a time-out, a late reply and a
// closed link; the serial line hanging up under an open row and a waiting
// request; the cause in the box of a
// failed "Create"; the "Com" list looked at again when it drops down.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "console/exchange_texts.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "serial/comm.h"

namespace veltra::test {
namespace {

const QRegularExpression kReplyInMs(QStringLiteral("^Reply in \\d+(\\.\\d)? ms$"));
// "Read Software Version" answered by module 3 on subnet 1, routed.
const char* kRoutedVersion = "55 AA 0E 00 01 03 80 07 01 41 42 43";

class ExchangePanel : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  CapturingForm form{TestOptions(dialogs)};
};

TEST_F(ExchangePanel, NetworkReplyTimeOutAndBrokenReply) {
  form.RadioButton1->setChecked(true);
  form.SpinEdit1->SetValue(3);
  form.reply = AsString(WithChecksum(FromHex(kRoutedVersion)));
  ASSERT_TRUE(ClickAndWait(form, form.Button29));
  EXPECT_TRUE(kReplyInMs.match(form.ExchangeText()).hasMatch()) << form.ExchangeText().toStdString();
  EXPECT_EQ(form.Edit2->text(), "ABC");

  // Status 6: the status word follows the round trip.
  form.reply = AsString(WithChecksum(FromHex("55 AA 0B 00 01 03 80 07 06")));
  ASSERT_TRUE(ClickAndWait(form, form.Button29));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Reply in \\S+ ms: Command error!$"))
                  .match(form.ExchangeText())
                  .hasMatch())
      << form.ExchangeText().toStdString();

  // Nothing comes: the panel says so once the wait is over, and meanwhile
  // that the request waits.
  form.reply.clear();
  form.Button29->click();
  EXPECT_EQ(form.ExchangeText(), "Request sent, waiting for the reply");
  ASSERT_TRUE(WaitUntilIdle(form));
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");

  std::vector<std::uint8_t> broken = WithChecksum(FromHex(kRoutedVersion));
  broken.back() ^= 1;
  form.reply = AsString(broken);
  ASSERT_TRUE(ClickAndWait(form, form.Button29));
  EXPECT_TRUE(form.ExchangeText().endsWith(": not a valid frame, dropped")) << form.ExchangeText().toStdString();
  EXPECT_EQ(LogText(form).split('\n').size(), 6);  // the broken reply has no line
}

TEST_F(ExchangePanel, SerialRequestWaitsTimesOutAndItsLateReplyChangesNothing) {
  form.SpinEdit1->SetValue(3);
  form.Edit2->setText("earlier");
  form.Button29->click();
  EXPECT_EQ(form.ExchangeText(), "Request sent, waiting for the reply");
  EXPECT_TRUE(form.Edit2->text().isEmpty()) << "a field the request fills shows no older answer";
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.ExchangeText() == "No reply within 500 ms"; }, 3000));

  // The reply comes after all: logged as late, with its round trip, and the
  // panel still tells what became of the request.
  const auto reply = WithChecksum(FromHex("55 AA 0C 03 80 07 01 41 42 43"));
  form.serialLine.Arrive(reply);
  const QString late = LogText(form).split('\n').last();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Late reply: Read \\S+  OK! \\(\\d+ ms\\)$")).match(late).hasMatch())
      << late.toStdString();
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_TRUE(form.Edit2->text().isEmpty());

  // A second copy answers nothing at all.
  form.serialLine.Arrive(reply);
  EXPECT_TRUE(LogText(form).split('\n').last().startsWith("Unrelated frame: Read ")) << LogText(form).toStdString();
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_TRUE(form.Edit2->text().isEmpty());
}

TEST(ExchangePanelClosedLinks, RequestsOnALinkThatIsNotOpenAreLoggedAndNotSent) {
  FakeDialogs dialogs;
  TForm1 form{TestOptions(dialogs)};
  form.Button22->click();
  EXPECT_EQ(form.ExchangeText(), "Com link is not open: request not sent");
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());  // over at once
  form.RadioButton1->setChecked(true);
  form.Edit4->setText("127.0.0.1");
  form.Button22->click();
  EXPECT_EQ(form.ExchangeText(), "TCP/IP link is not open: request not sent");
  EXPECT_FALSE(form.IdUDPClient1.Active());  // no socket was made for it
  EXPECT_EQ(LogText(form).split('\n').size(), 2);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

class SerialLine : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  TForm1 form{TestOptions(dialogs)};

  void SetUp() override { dialogs.messages.clear(); }
  void Select(const std::string& path) {
    const QString name = QString::fromStdString(path);
    if (form.ComboBox5->findText(name) < 0) form.ComboBox5->addItem(name);
    form.ComboBox5->setCurrentText(name);
  }
};

TEST_F(SerialLine, HangUpClosesTheRowAndANewCreateWorks) {
  Pty first;
  ASSERT_TRUE(first.ok());
  Select(first.path());
  form.Button10->click();
  ASSERT_EQ(form.Button10->text(), "Close");

  // One exchange: its round trip is in the panel.
  form.SpinEdit1->SetValue(3);
  form.Button29->click();
  ASSERT_FALSE(form.RequestsHeldBecause().isEmpty());
  ASSERT_EQ(first.Receive(8).size(), 8u);
  ASSERT_TRUE(first.Send(WithChecksum(FromHex("55 AA 0C 03 80 07 01 41 42 43"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return kReplyInMs.match(form.ExchangeText()).hasMatch(); }, 3000))
      << form.ExchangeText().toStdString();

  // Pulled while a request waits: the request ends with the line.
  form.Button29->click();
  ASSERT_EQ(first.Receive(8).size(), 8u);
  first.CloseMaster();  // the adapter is pulled
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Button10->text() == "Create"; }, 3000));
  EXPECT_EQ(form.ExchangeText(), "Serial device disconnected: " + QString::fromStdString(first.path()));
  EXPECT_TRUE(form.StatusText().isEmpty());
  EXPECT_FALSE(form.Comm1->IsOpen());
  for (QWidget* w : std::initializer_list<QWidget*>{form.ComboBox1, form.ComboBox2, form.ComboBox3, form.ComboBox4,
                                                    form.ComboBox5, form.RadioButton2})
    EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(form.Button29->isEnabled());

  Pty second;  // plugged back in
  ASSERT_TRUE(second.ok());
  Select(second.path());
  form.Button10->click();
  ASSERT_EQ(form.Button10->text(), "Close");
  EXPECT_EQ(form.StatusText(), "Com is running!");
  form.Button29->click();
  ASSERT_EQ(second.Receive(8).size(), 8u);
  ASSERT_TRUE(second.Send(WithChecksum(FromHex("55 AA 0C 03 80 07 01 44 45 46"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.Edit2->text() == "DEF"; }, 3000));
  form.Button10->click();
}

TEST_F(SerialLine, FailedCreateNamesTheCause) {
  Select("/dev/veltra-test-no-such-port");
  form.Button10->click();
  EXPECT_EQ(form.Button10->text(), "Create");
  ASSERT_EQ(dialogs.messages, QStringList{"Error!"});
  ASSERT_EQ(dialogs.details.size(), 1);
  EXPECT_EQ(dialogs.details[0],
            "Error opening serial port\nNo such file or directory: is the adapter plugged in and the port name right?");

  // Another program holds the port (its lock).
  Pty held;
  ASSERT_TRUE(held.ok());
  const int other = ::open(held.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  Select(held.path());
  form.Button10->click();
  ::close(other);
  EXPECT_EQ(form.Button10->text(), "Create");
  ASSERT_EQ(dialogs.details.size(), 2);
  EXPECT_EQ(dialogs.details[1],
            "Error opening serial port\nDevice or resource busy: another program holds the port");

  // The UDP row: its local port taken.
  LoopbackSocket holder;
  form.Edit4->setText("127.0.0.1");
  form.Edit6->setText(QString::number(holder.port()));
  form.Button32->click();
  EXPECT_EQ(form.Button32->text(), "Create");
  ASSERT_EQ(dialogs.details.size(), 3);
  EXPECT_TRUE(dialogs.details[2].endsWith("\nAddress already in use")) << dialogs.details[2].toStdString();
  EXPECT_EQ(dialogs.messages, (QStringList{"Error!", "Error!", "Error!"}));
}

TEST(ExchangeTexts, RoundTripsInTenthsBelowTenMilliseconds) {
  using std::chrono::microseconds;
  EXPECT_EQ(RoundTripText(microseconds(440)), "0.4 ms");
  EXPECT_EQ(RoundTripText(microseconds(9940)), "9.9 ms");
  EXPECT_EQ(RoundTripText(microseconds(9960)), "10 ms");
  EXPECT_EQ(RoundTripText(microseconds(123500)), "124 ms");
  EXPECT_EQ(ReplyText(microseconds(2000), "OK!"), "Reply in 2.0 ms");
  EXPECT_EQ(ReplyText(microseconds(20000), "Memory error!"), "Reply in 20 ms: Memory error!");
}

TEST(PortListRefresh, ListsWhatIsPluggedInWhenItDropsDown) {
  FakeDialogs dialogs;
  TForm1 form{TestOptions(dialogs)};
  const std::vector<std::string> usual{"COM1", "COM2", "COM3", "COM4", "COM5"};
  std::vector<std::string> present = usual;
  present.push_back("/dev/ttyUSB0");
  form.ComboBox5->presentPorts = [&] { return present; };
  form.ComboBox5->addItem("/dev/pts/77");  // a simulated line the window added
  form.ComboBox5->setCurrentText("COM2");

  form.ComboBox5->showPopup();
  form.ComboBox5->hidePopup();
  QStringList items;
  for (int i = 0; i < form.ComboBox5->count(); ++i) items << form.ComboBox5->itemText(i);
  EXPECT_EQ(items, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "/dev/ttyUSB0", "/dev/pts/77"}));
  EXPECT_EQ(form.ComboBox5->currentText(), "COM2");

  // Unplugged: gone from the list, unless it is the one selected.
  form.ComboBox5->setCurrentText("/dev/ttyUSB0");
  present = usual;
  present.push_back("/dev/ttyACM0");
  form.ComboBox5->Refresh();
  items.clear();
  for (int i = 0; i < form.ComboBox5->count(); ++i) items << form.ComboBox5->itemText(i);
  EXPECT_EQ(items, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/pts/77"}));
  EXPECT_EQ(form.ComboBox5->currentText(), "/dev/ttyUSB0");
  form.ComboBox5->setCurrentText("COM1");
  form.ComboBox5->Refresh();
  EXPECT_EQ(form.ComboBox5->findText("/dev/ttyUSB0"), -1);
  EXPECT_EQ(form.ComboBox5->currentText(), "COM1");
}

}  // namespace
}  // namespace veltra::test
