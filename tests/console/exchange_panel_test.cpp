// The status bar's second panel after a reply, a time-out, a late reply and a
// closed link; the serial line hanging up under an open row and a waiting
// request, and "Close" while it waits for its device; the cause in the box of a
// failed "Create"; the "Com" list looked at again when it drops down.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <QAccessible>
#include <QAction>
#include <QLabel>
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
  CapturingWindow form{TestOptions(dialogs)};
};

TEST_F(ExchangePanel, NetworkReplyTimeOutAndBrokenReply) {
  Radio(form, "RadioButton1")->setChecked(true);
  Spin(form, "SpinEdit1")->SetValue(3);
  form.reply = AsString(WithChecksum(FromHex(kRoutedVersion)));
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));
  EXPECT_TRUE(kReplyInMs.match(form.ExchangeText()).hasMatch()) << form.ExchangeText().toStdString();
  EXPECT_EQ(Edit(form, "Edit2")->text(), "ABC");

  // Status 6: the status word follows the round trip.
  form.reply = AsString(WithChecksum(FromHex("55 AA 0B 00 01 03 80 07 06")));
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Reply in \\S+ ms: Command error!$"))
                  .match(form.ExchangeText())
                  .hasMatch())
      << form.ExchangeText().toStdString();

  // Nothing comes: the panel says so once the wait is over, and meanwhile
  // that the request waits.
  form.reply.clear();
  Button(form, "Button29")->click();
  EXPECT_EQ(form.ExchangeText(), "Request sent, waiting for the reply");
  ASSERT_TRUE(WaitUntilIdle(form));
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");

  std::vector<std::uint8_t> broken = WithChecksum(FromHex(kRoutedVersion));
  broken.back() ^= 1;
  form.reply = AsString(broken);
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));
  EXPECT_TRUE(form.ExchangeText().endsWith(": not a valid frame, dropped")) << form.ExchangeText().toStdString();
  EXPECT_EQ(LogText(form).split('\n').size(), 6);  // the broken reply has no line
}

TEST_F(ExchangePanel, SerialRequestWaitsTimesOutAndItsLateReplyChangesNothing) {
  Spin(form, "SpinEdit1")->SetValue(3);
  Edit(form, "Edit2")->setText("earlier");
  Button(form, "Button29")->click();
  EXPECT_EQ(form.ExchangeText(), "Request sent, waiting for the reply");
  EXPECT_TRUE(Edit(form, "Edit2")->text().isEmpty()) << "a field the request fills shows no older answer";
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.ExchangeText() == "No reply within 500 ms"; }, 3000));

  // The reply comes after all: logged as late, with its round trip, and the
  // panel still tells what became of the request.
  const auto reply = WithChecksum(FromHex("55 AA 0C 03 80 07 01 41 42 43"));
  form.serialLine.Arrive(reply);
  const QString late = LogText(form).split('\n').last();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Late reply: Read \\S+  OK! \\(\\d+ ms\\)$")).match(late).hasMatch())
      << late.toStdString();
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_TRUE(Edit(form, "Edit2")->text().isEmpty());

  // A second copy answers nothing at all.
  form.serialLine.Arrive(reply);
  EXPECT_TRUE(LogText(form).split('\n').last().startsWith("Unrelated frame: Read ")) << LogText(form).toStdString();
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_TRUE(Edit(form, "Edit2")->text().isEmpty());
}

TEST(ExchangePanelClosedLinks, RequestsOnALinkThatIsNotOpenAreLoggedAndNotSent) {
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
  Button(form, "Button22")->click();
  EXPECT_EQ(form.ExchangeText(), "Com link is not open: request not sent");
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());  // over at once
  Radio(form, "RadioButton1")->setChecked(true);
  Edit(form, "Edit4")->setText("127.0.0.1");
  Button(form, "Button22")->click();
  EXPECT_EQ(form.ExchangeText(), "TCP/IP link is not open: request not sent");
  EXPECT_FALSE(form.Controller().Network().Client().Active());  // no socket was made for it
  // The log says so too: the frame, as a sent one would show it.
  const QString notSent = QString::fromUtf8("Not sent \xEF\xBC\x9AX");
  EXPECT_EQ(LogText(form).split('\n'), (QStringList{notSent, notSent}));
  EXPECT_FALSE(LogText(form).contains("Send"));
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

// What the "Last exchange" panel shows is what assistive tools read: its
// accessible name is its text, through every change, and what the panel is
// goes in its description. (Each change is also announced to them as a name
// change; the offscreen platform of the tests has no assistive technology
// to hear it.)
TEST_F(ExchangePanel, TheLastExchangeIsWhatAssistiveToolsRead) {
  QLabel* panel = Label(form, "StatusBar1Exchange");
  const auto read = [panel] { return QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name); };
  form.Controller().Serial().ReceiveTimeout = 1;
  Button(form, "Button29")->click();
  EXPECT_EQ(read(), "Request sent, waiting for the reply");
  ASSERT_TRUE(WaitUntilIdle(form));
  EXPECT_EQ(panel->text(), "No reply within 1 ms");
  EXPECT_EQ(read(), "No reply within 1 ms");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Description), "Last exchange");
  form.serialReply = AsString(WithChecksum(FromHex("55 AA 0C 01 80 07 01 41 42 43")));
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));
  EXPECT_TRUE(read().startsWith("Reply in ")) << read().toStdString();
}

class SerialLine : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};

  void SetUp() override { dialogs.messages.clear(); }
  void Select(const std::string& path) {
    const QString name = QString::fromStdString(path);
    if (Ports(form)->findText(name) < 0) Ports(form)->addItem(name);
    Ports(form)->setCurrentText(name);
  }
};

TEST_F(SerialLine, HangUpWaitsForTheDeviceAndCloseThenANewCreateWorks) {
  Pty first;
  ASSERT_TRUE(first.ok());
  Select(first.path());
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");

  // One exchange: its round trip is in the panel.
  Spin(form, "SpinEdit1")->SetValue(3);
  Button(form, "Button29")->click();
  ASSERT_FALSE(form.RequestsHeldBecause().isEmpty());
  ASSERT_EQ(first.Receive(8).size(), 8u);
  ASSERT_TRUE(first.Send(WithChecksum(FromHex("55 AA 0C 03 80 07 01 41 42 43"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return kReplyInMs.match(form.ExchangeText()).hasMatch(); }, 3000))
      << form.ExchangeText().toStdString();

  // Pulled while a request waits: the request ends with the line.
  Button(form, "Button29")->click();
  ASSERT_EQ(first.Receive(8).size(), 8u);
  first.CloseMaster();  // the adapter is pulled
  const QString waiting =
      "Serial device disconnected: " + QString::fromStdString(first.path()) + ": waiting for it to return";
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.ExchangeText() == waiting; }, 3000)) << form.ExchangeText().toStdString();
  // The row waits for the device; "Close" ends the waiting.
  EXPECT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_EQ(form.StatusText(), waiting);
  EXPECT_FALSE(form.Controller().Serial().Port().IsOpen());
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty()) << "the waiting request ended with the line";
  Button(form, "Button10")->click();
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  EXPECT_FALSE(form.Controller().SerialDown());
  for (QWidget* w : std::initializer_list<QWidget*>{List(form, "ComboBox1"), List(form, "ComboBox2"), List(form, "ComboBox3"), List(form, "ComboBox4"),
                                                    Ports(form), Radio(form, "RadioButton2")})
    EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(Button(form, "Button29")->isEnabled());

  Pty second;  // plugged back in
  ASSERT_TRUE(second.ok());
  Select(second.path());
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_EQ(form.StatusText(), "Com is running!");
  Button(form, "Button29")->click();
  ASSERT_EQ(second.Receive(8).size(), 8u);
  ASSERT_TRUE(second.Send(WithChecksum(FromHex("55 AA 0C 03 80 07 01 44 45 46"))));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit2")->text() == "DEF"; }, 3000));
  Button(form, "Button10")->click();
}

TEST_F(SerialLine, FailedCreateNamesTheCause) {
  Select("/dev/veltra-test-no-such-port");
  Button(form, "Button10")->click();
  EXPECT_EQ(Caption(form, "Button10"), "Create");
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
  Button(form, "Button10")->click();
  ::close(other);
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  ASSERT_EQ(dialogs.details.size(), 2);
  EXPECT_EQ(dialogs.details[1],
            "Error opening serial port\nDevice or resource busy: another program holds the port");

  // The UDP row: its local port taken.
  LoopbackSocket holder;
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit6")->setText(QString::number(holder.port()));
  Button(form, "Button32")->click();
  EXPECT_EQ(Caption(form, "Button32"), "Create");
  ASSERT_EQ(dialogs.details.size(), 3);
  // Said once, with the port that is taken.
  EXPECT_EQ(dialogs.details[2],
            QStringLiteral("Address already in use: local port %1 is taken by another program").arg(holder.port()));
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
  MainWindow form{TestOptions(dialogs)};
  const std::vector<PortChoice> usual{{"COM1", ""}, {"COM2", ""}, {"COM3", ""}, {"COM4", ""}, {"COM5", ""}};
  const PortChoice adapter{"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "FTDI FT232R USB UART (ttyUSB0)"};
  std::vector<PortChoice> present = usual;
  present.insert(present.begin(), adapter);
  present.push_back({"/dev/ttyUSB0", "FTDI FT232R USB UART"});
  PortList* ports = Ports(form);
  ports->presentPorts = [&] { return present; };
  ports->clear();  // what this computer has plugged in plays no part
  ports->Refresh();
  ports->addItem("/dev/pts/77");  // a simulated line the window added
  ports->setCurrentIndex(ports->findText("COM2"));

  ports->showPopup();
  ports->hidePopup();
  EXPECT_EQ(Items(ports), (QStringList{QString::fromStdString(adapter.name), "COM1", "COM2", "COM3", "COM4", "COM5",
                                       "/dev/ttyUSB0", "/dev/pts/77"}));
  EXPECT_EQ(ports->currentText(), "COM2");
  // The adapter's description is told beside its stable name.
  EXPECT_EQ(ports->itemData(0, Qt::ToolTipRole).toString(), QString::fromStdString(adapter.description));
  EXPECT_EQ(ports->itemData(0, Qt::AccessibleDescriptionRole).toString(), QString::fromStdString(adapter.description));

  // Unplugged: gone from the list, unless it is the one selected.
  ports->setCurrentIndex(ports->findText("/dev/ttyUSB0"));
  present = usual;
  present.push_back({"/dev/ttyACM0", ""});
  ports->Refresh();
  EXPECT_EQ(Items(ports),
            (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/pts/77"}));
  EXPECT_EQ(ports->currentText(), "/dev/ttyUSB0");
  ports->setCurrentIndex(ports->findText("COM1"));
  ports->Refresh();
  EXPECT_EQ(ports->findText("/dev/ttyUSB0"), -1);
  EXPECT_EQ(ports->currentText(), "COM1");
}

// Any device can be typed in: a board's UART, a stable by-id name, a
// simulator's pseudo-terminal started on its own.
TEST(PortListRefresh, ATypedDevicePathIsOpenedAndKeptWhenTheListIsReadAgain) {
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
  dialogs.messages.clear();  // the missing scene database at start-up
  Pty line;
  ASSERT_TRUE(line.ok());
  PortList* ports = Ports(form);
  ASSERT_TRUE(ports->isEditable());
  ports->setFocus();
  ports->lineEdit()->clear();
  QTest::keyClicks(ports->lineEdit(), QString::fromStdString(line.path()));
  ports->Refresh();
  EXPECT_EQ(ports->currentText(), QString::fromStdString(line.path()));
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close") << dialogs.details.join(';').toStdString();
  EXPECT_EQ(form.Controller().Serial().Port().CommName(), line.path());
  Spin(form, "SpinEdit1")->SetValue(1);
  Button(form, "Button12")->click();
  EXPECT_EQ(Hex(line.Receive(8)), Hex(WithChecksum(FromHex("55 AA 08 01 00 06"))));
}

}  // namespace
}  // namespace veltra::test
