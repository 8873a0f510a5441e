// The network link end to end on loopback: "Create"/"Close", requests and
// their replies, the 500 ms wait in the event loop, late replies, bind
// failures, and the bus switch "Read" with its restore of the link.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <thread>

#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console/network_fields.h"
#include "console_support.h"

namespace veltra::test {
namespace {

class UdpLink : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
  LoopbackSocket busSwitch;  // the far side
  int localPort = FreeUdpPort();

  void SetUp() override {
    dialogs.messages.clear();  // the missing scene database at start-up
    Check(form, "chk1")->setChecked(false);
    Edit(form, "Edit4")->setText("127.0.0.1");
    Edit(form, "Edit5")->setText(QString::number(busSwitch.port()));
    Edit(form, "Edit6")->setText(QString::number(localPort));
    Radio(form, "RadioButton1")->setChecked(true);
  }

  // Answers the next request with `reply` after `delayMs`, from its own thread.
  std::thread Answer(std::vector<std::uint8_t> reply, int delayMs = 0,
                     std::vector<std::uint8_t>* request = nullptr) {
    return std::thread([this, reply = std::move(reply), delayMs, request] {
      sockaddr_in from{};
      auto received = busSwitch.Receive(3000, &from);
      if (request) *request = received;
      if (received.empty()) return;
      if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      busSwitch.SendTo(from, reply);
    });
  }
  QStringList Log() { return LogText(form).split('\n', Qt::SkipEmptyParts); }
  // The network row's fields, locked while the link is open.
  std::vector<QWidget*> NetworkRow() const {
    return {Edit(form, "Edit3"), Edit(form, "Edit4"), Edit(form, "Edit5"), Edit(form, "Edit6"), Spin(form, "SpinEdit7")};
  }
};

TEST_F(UdpLink, CreateRequestReplyAndClose) {
  Button(form, "Button32")->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_EQ(Caption(form, "Button32"), "Close");
  EXPECT_EQ(form.StatusText(), "UDP is running!");
  for (QWidget* w : NetworkRow()) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  // The link choice stays free.
  EXPECT_TRUE(Radio(form, "RadioButton1")->isEnabled());
  EXPECT_TRUE(Radio(form, "RadioButton2")->isEnabled());
  EXPECT_EQ(form.Controller().Network().Client().BoundPort(), localPort);

  std::vector<std::uint8_t> request;
  std::thread peer = Answer(WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 01 2A")), 0, &request);
  EXPECT_TRUE(ClickAndWait(form, Button(form, "Button12")));
  peer.join();
  EXPECT_EQ(Hex(request), Hex(WithChecksum(FromHex("55 AA 0A 00 01 01 00 06"))));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
  ASSERT_EQ(Log().size(), 2);
  EXPECT_TRUE(Log()[1].endsWith("  OK!"));

  Button(form, "Button32")->click();
  EXPECT_EQ(Caption(form, "Button32"), "Create");
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  EXPECT_FALSE(form.Controller().Network().Client().Active());
  for (QWidget* w : NetworkRow()) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(UdpLink, ALateReplyIsLoggedAsLateAndAnswersNoLaterRequest) {
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  std::thread late = Answer(WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 0B 0B")), 700);
  Button(form, "Button12")->click();
  ASSERT_TRUE(WaitUntilIdle(form));  // 500 ms: nothing yet
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_EQ(Log().size(), 1);
  EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty());
  late.join();
  // Taken off the socket as it comes, while no request waits.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().size() == 2; }, 2000));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Late reply: Read .+  OK! \\(\\d+ ms\\)$")).match(Log()[1]).hasMatch())
      << Log()[1].toStdString();

  // The next request finds nothing left for it.
  Button(form, "Button29")->click();
  ASSERT_TRUE(WaitUntilIdle(form));
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty());
  EXPECT_TRUE(Edit(form, "Edit2")->text().isEmpty());
  ASSERT_EQ(Log().size(), 3);
  EXPECT_TRUE(Log()[2].startsWith(QString::fromUtf8("Send \xEF\xBC\x9A")));
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(UdpLink, CreateFailuresShowErrorAndLeaveTheLinkClosed) {
  LoopbackSocket holder;  // another program on the local port
  Edit(form, "Edit6")->setText(QString::number(holder.port()));
  Button(form, "Button32")->click();
  EXPECT_EQ(dialogs.messages, QStringList{"Error!"});
  EXPECT_EQ(Caption(form, "Button32"), "Create");
  EXPECT_TRUE(Edit(form, "Edit4")->isEnabled());
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  EXPECT_FALSE(form.Controller().Network().Client().Active());

  Edit(form, "Edit6")->setText(QString::number(localPort));
  Edit(form, "Edit5")->clear();
  Button(form, "Button32")->click();
  EXPECT_EQ(dialogs.messages, (QStringList{"Error!", "Error!"}));
  EXPECT_EQ(Caption(form, "Button32"), "Create");

  Edit(form, "Edit5")->setText(QString::number(busSwitch.port()));
  Button(form, "Button32")->click();
  EXPECT_EQ(Caption(form, "Button32"), "Close");
  EXPECT_EQ(dialogs.messages.size(), 2);
  // Closing the window deactivates the client.
  form.close();
  EXPECT_FALSE(form.Controller().Network().Client().Active());
}

TEST_F(UdpLink, SendFailureIsShownAfterTheSendLine) {
  Edit(form, "Edit4")->setText("no-such-host.invalid");
  Button(form, "Button32")->click();  // a name the send cannot resolve
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  Button(form, "Button22")->click();
  EXPECT_EQ(Log().size(), 1);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].startsWith("Socket Error # "));
}

// Values no port or address can have are refused with the reason before
// "Create" makes a socket; 0 as the local port takes any free one, and a
// host name is taken as the remote address.
TEST_F(UdpLink, ImpossibleNetworkValuesAreRefusedBeforeCreateActs) {
  struct Wrong {
    const char* field;
    const char* text;
    const char* reason;
  };
  const Wrong wrong[] = {
      {"Edit6", "99999", "\"Local Port \" takes a port number from 0 to 65535 (0: any free port), not \"99999\""},
      {"Edit6", "", "\"Local Port \""},
      {"Edit5", "65536", "\"Remote Port \" takes a port number from 1 to 65535, not \"65536\""},
      {"Edit5", "0", "\"Remote Port \""},
      {"Edit4", "999.1.1.1", "\"Remote IP \" takes a dotted IPv4 address (four numbers from 0 to 255) or a host name, "
                             "not \"999.1.1.1\""},
      {"Edit4", "10.0.0", "\"Remote IP \""},
      {"Edit4", "-bus-switch.local", "\"Remote IP \""},
  };
  form.show();
  for (const Wrong& w : wrong) {
    SCOPED_TRACE(std::string(w.field) + " " + w.text);
    SetUp();  // the row as the fixture sets it, then one field wrong
    Edit(form, w.field)->setText(QString::fromUtf8(w.text));
    dialogs.messages.clear();
    dialogs.details.clear();
    Button(form, "Button32")->click();
    EXPECT_EQ(dialogs.messages, QStringList{"Error!"});
    ASSERT_EQ(dialogs.details.size(), 1);
    EXPECT_TRUE(dialogs.details[0].startsWith(QString::fromUtf8(w.reason))) << dialogs.details[0].toStdString();
    EXPECT_EQ(Caption(form, "Button32"), "Create");
    EXPECT_FALSE(form.Controller().Network().Client().Active()) << "no socket was made";
    EXPECT_EQ(form.focusWidget(), Edit(form, w.field)) << "the field to correct has the keyboard";
  }
  EXPECT_TRUE(Log().isEmpty());

  // Local port 0: any free one; a host name for the bus switch.
  SetUp();
  Edit(form, "Edit6")->setText("0");
  Edit(form, "Edit4")->setText("localhost");
  dialogs.messages.clear();
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close") << dialogs.details.join(';').toStdString();
  EXPECT_GT(form.Controller().Network().Client().BoundPort(), 0);
  std::thread peer = Answer(WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 01 2A")));
  EXPECT_TRUE(ClickAndWait(form, Button(form, "Button12")));
  peer.join();
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
}

TEST(NetworkFields, PortsAddressesAndHostNames) {
  EXPECT_EQ(PortOf("0", 0), 0);
  EXPECT_EQ(PortOf("65535", 1), 65535);
  for (const char* bad : {"65536", "99999", "-1", "+80", " 80", "8 0", "", "123456", "0x50"})
    EXPECT_EQ(PortOf(bad, 0), std::nullopt) << bad;
  EXPECT_EQ(PortOf("0", 1), std::nullopt);
  for (const char* good : {"192.168.14.3", "0.0.0.0", "255.255.255.255", "localhost", "bus-switch.site.example",
                           "host1", "1host"})
    EXPECT_EQ(CheckRemoteHost(good), std::nullopt) << good;
  for (const char* bad : {"999.1.1.1", "256.0.0.1", "1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.4.", "", "-host",
                          "host-", "a_b", "a..b", "1234.1.1.1"})
    EXPECT_NE(CheckRemoteHost(bad), std::nullopt) << bad;
  EXPECT_NE(CheckRemoteHost(std::string(64, 'a')), std::nullopt) << "a label of 64 characters";
  EXPECT_EQ(CheckRemoteHost(std::string(63, 'a') + ".lan"), std::nullopt);
}

const char* kConfigReply =
    "55 AA 27 FF FF FF 80 05 01 00 07 0A 00 00 05 1F 90 FF FF 00 00 0A 00 00 01 0A 00 00 09 1F 91 "
    "02 00 00 00 00 01";

TEST_F(UdpLink, BusSwitchReadFillsTheGroupAndRestoresTheClient) {
  std::vector<std::uint8_t> request;
  std::thread peer = Answer(WithChecksum(FromHex(kConfigReply)), 0, &request);
  EXPECT_TRUE(ClickAndWait(form, Button(form, "btn2")));
  peer.join();
  ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
  EXPECT_EQ(Hex(request), Hex(WithChecksum(FromHex("55 AA 0A FF FF FF 00 05"))));
  EXPECT_EQ(Spin(form, "SpinEdit12")->Value(), 7);
  EXPECT_EQ(Edit(form, "Edit9")->text() + "." + Edit(form, "edt5")->text() + "." + Edit(form, "Edit15")->text() + "." + Edit(form, "Edit17")->text(),
            "10.0.0.5");
  EXPECT_EQ(Edit(form, "Edit11")->text(), "8080");
  EXPECT_EQ(Edit(form, "Edit21")->text() + "." + Edit(form, "Edit22")->text() + "." + Edit(form, "Edit23")->text() + "." + Edit(form, "Edit24")->text(),
            "255.255.0.0");
  EXPECT_EQ(Edit(form, "Edit28")->text(), "1");
  EXPECT_EQ(Edit(form, "Edit32")->text(), "9");
  EXPECT_EQ(Edit(form, "edt3")->text(), "8081");
  EXPECT_EQ(Edit(form, "Edit7")->text() + Edit(form, "Edit8")->text() + Edit(form, "Edit33")->text() + Edit(form, "Edit34")->text() +
                Edit(form, "Edit35")->text() + Edit(form, "Edit36")->text(),
            "020000000001");
  // The client is left active, bound to "Local Port ", pointed back at
  // "Remote IP ", without broadcast permission; the link itself was not opened.
  EXPECT_TRUE(form.Controller().Network().Client().Active());
  EXPECT_EQ(form.Controller().Network().Client().BoundPort(), localPort);
  EXPECT_EQ(form.Controller().Network().Client().Host, "127.0.0.1");
  EXPECT_FALSE(form.Controller().Network().Client().SocketBroadcast());
  EXPECT_EQ(Caption(form, "Button32"), "Create");

  // "Create" afterwards opens the link on the same port.
  Button(form, "Button32")->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_EQ(Caption(form, "Button32"), "Close");
  EXPECT_EQ(form.Controller().Network().Client().BoundPort(), localPort);
}

TEST_F(UdpLink, BusSwitchReadWhileTheLinkIsOpenKeepsItOpen) {
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  std::thread peer = Answer(WithChecksum(FromHex(kConfigReply)));
  EXPECT_TRUE(ClickAndWait(form, Button(form, "btn2")));
  peer.join();
  EXPECT_EQ(Spin(form, "SpinEdit12")->Value(), 7);
  EXPECT_EQ(Caption(form, "Button32"), "Close");
  EXPECT_FALSE(Edit(form, "Edit4")->isEnabled());
  EXPECT_EQ(form.Controller().Network().Client().BoundPort(), localPort);

  // The link still works as before.
  peer = Answer(WithChecksum(FromHex("55 AA 0E 00 01 01 80 07 01 41 42 43")));
  EXPECT_TRUE(ClickAndWait(form, Button(form, "Button29")));
  peer.join();
  EXPECT_EQ(Edit(form, "Edit2")->text(), "ABC");
}

TEST_F(UdpLink, BusSwitchReadOnATakenPortShowsTheBindError) {
  LoopbackSocket holder;
  Edit(form, "Edit6")->setText(QString::number(holder.port()));
  Button(form, "btn2")->click();
  EXPECT_EQ(dialogs.errors,
            QStringList{QStringLiteral("Address already in use: local port %1 is taken by another program")
                            .arg(holder.port())});
  EXPECT_TRUE(LogText(form).isEmpty());
}

TEST_F(UdpLink, BusSwitchReadThatFailsStillPointsTheClientBack) {
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close");
  form.Controller().SetBusSwitchBroadcastHost("no-such-host.invalid");
  Button(form, "btn2")->click();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].startsWith("Socket Error # "));
  EXPECT_EQ(form.Controller().Network().Client().Host, "127.0.0.1");
  EXPECT_EQ(form.Controller().Network().Client().BoundPort(), localPort);
  EXPECT_FALSE(form.Controller().Network().Client().SocketBroadcast());

  // The open link still reaches the bus switch.
  std::thread peer = Answer(WithChecksum(FromHex("55 AA 0E 00 01 01 80 07 01 41 42 43")));
  EXPECT_TRUE(ClickAndWait(form, Button(form, "Button29")));
  peer.join();
  EXPECT_EQ(Edit(form, "Edit2")->text(), "ABC");
}

}  // namespace
}  // namespace veltra::test
