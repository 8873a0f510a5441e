// The network link end to end on loopback: "Create"/"Close", requests and
// their replies, the 500 ms wait in the event loop, late replies, bind
// failures, and the bus switch "Read" with its restore of the link.
#include <gtest/gtest.h>

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
#include "console_support.h"

namespace veltra::test {
namespace {

class UdpLink : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  TForm1 form{TestOptions(dialogs)};
  LoopbackSocket busSwitch;  // the far side
  int localPort = FreeUdpPort();

  void SetUp() override {
    dialogs.messages.clear();  // the missing scene database at start-up
    form.chk1->setChecked(false);
    form.Edit4->setText("127.0.0.1");
    form.Edit5->setText(QString::number(busSwitch.port()));
    form.Edit6->setText(QString::number(localPort));
    form.RadioButton1->setChecked(true);
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
};

TEST_F(UdpLink, CreateRequestReplyAndClose) {
  form.Button32->click();
  ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_EQ(form.Button32->text(), "Close");
  EXPECT_EQ(form.StatusText(), "UDP is running!");
  for (QWidget* w : std::initializer_list<QWidget*>{form.Edit3, form.Edit4, form.Edit5, form.Edit6, form.SpinEdit7,
                                                    form.RadioButton1})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(form.RadioButton2->isEnabled());
  EXPECT_EQ(form.IdUDPClient1.BoundPort(), localPort);

  std::vector<std::uint8_t> request;
  std::thread peer = Answer(WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 01 2A")), 0, &request);
  EXPECT_TRUE(ClickAndWait(form, form.Button12));
  peer.join();
  EXPECT_EQ(Hex(request), Hex(WithChecksum(FromHex("55 AA 0A 00 01 01 00 06"))));
  EXPECT_EQ(form.Edit1->text(), "012A");
  ASSERT_EQ(Log().size(), 2);
  EXPECT_TRUE(Log()[1].endsWith("  OK!"));

  form.Button32->click();
  EXPECT_EQ(form.Button32->text(), "Create");
  EXPECT_TRUE(form.StatusText().isEmpty());
  EXPECT_FALSE(form.IdUDPClient1.Active());
  for (QWidget* w : std::initializer_list<QWidget*>{form.Edit3, form.Edit4, form.Edit5, form.Edit6, form.SpinEdit7,
                                                    form.RadioButton1})
    EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(UdpLink, ALateReplyIsLoggedAsLateAndAnswersNoLaterRequest) {
  form.Button32->click();
  ASSERT_EQ(form.Button32->text(), "Close");
  std::thread late = Answer(WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 0B 0B")), 700);
  form.Button12->click();
  ASSERT_TRUE(WaitUntilIdle(form));  // 500 ms: nothing yet
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_EQ(Log().size(), 1);
  EXPECT_TRUE(form.Edit1->text().isEmpty());
  late.join();
  // Taken off the socket as it comes, while no request waits.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().size() == 2; }, 2000));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Late reply: Read .+  OK! \\(\\d+ ms\\)$")).match(Log()[1]).hasMatch())
      << Log()[1].toStdString();

  // The next request finds nothing left for it.
  form.Button29->click();
  ASSERT_TRUE(WaitUntilIdle(form));
  EXPECT_EQ(form.ExchangeText(), "No reply within 500 ms");
  EXPECT_TRUE(form.Edit1->text().isEmpty());
  EXPECT_TRUE(form.Edit2->text().isEmpty());
  ASSERT_EQ(Log().size(), 3);
  EXPECT_TRUE(Log()[2].startsWith(QString::fromUtf8("Send \xEF\xBC\x9A")));
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(UdpLink, CreateFailuresShowErrorAndLeaveTheLinkClosed) {
  LoopbackSocket holder;  // another program on the local port
  form.Edit6->setText(QString::number(holder.port()));
  form.Button32->click();
  EXPECT_EQ(dialogs.messages, QStringList{"Error!"});
  EXPECT_EQ(form.Button32->text(), "Create");
  EXPECT_TRUE(form.Edit4->isEnabled());
  EXPECT_TRUE(form.StatusText().isEmpty());
  EXPECT_FALSE(form.IdUDPClient1.Active());

  form.Edit6->setText(QString::number(localPort));
  form.Edit5->clear();
  form.Button32->click();
  EXPECT_EQ(dialogs.messages, (QStringList{"Error!", "Error!"}));
  EXPECT_EQ(form.Button32->text(), "Create");

  form.Edit5->setText(QString::number(busSwitch.port()));
  form.Button32->click();
  EXPECT_EQ(form.Button32->text(), "Close");
  EXPECT_EQ(dialogs.messages.size(), 2);
  // Closing the window deactivates the client.
  form.close();
  EXPECT_FALSE(form.IdUDPClient1.Active());
}

TEST_F(UdpLink, SendFailureIsShownAfterTheSendLine) {
  form.Edit4->setText("");
  form.Button32->click();  // Host empty: the send cannot resolve it
  form.Button22->click();
  EXPECT_EQ(Log().size(), 1);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].startsWith("Socket Error # "));
}

const char* kConfigReply =
    "55 AA 27 FF FF FF 80 05 01 00 07 0A 00 00 05 1F 90 FF FF 00 00 0A 00 00 01 0A 00 00 09 1F 91 "
    "02 00 00 00 00 01";

TEST_F(UdpLink, BusSwitchReadFillsTheGroupAndRestoresTheClient) {
  std::vector<std::uint8_t> request;
  std::thread peer = Answer(WithChecksum(FromHex(kConfigReply)), 0, &request);
  EXPECT_TRUE(ClickAndWait(form, form.btn2));
  peer.join();
  ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
  EXPECT_EQ(Hex(request), Hex(WithChecksum(FromHex("55 AA 0A FF FF FF 00 05"))));
  EXPECT_EQ(form.SpinEdit12->Value(), 7);
  EXPECT_EQ(form.Edit9->text() + "." + form.edt5->text() + "." + form.Edit15->text() + "." + form.Edit17->text(),
            "10.0.0.5");
  EXPECT_EQ(form.Edit11->text(), "8080");
  EXPECT_EQ(form.Edit21->text() + "." + form.Edit22->text() + "." + form.Edit23->text() + "." + form.Edit24->text(),
            "255.255.0.0");
  EXPECT_EQ(form.Edit28->text(), "1");
  EXPECT_EQ(form.Edit32->text(), "9");
  EXPECT_EQ(form.edt3->text(), "8081");
  EXPECT_EQ(form.Edit7->text() + form.Edit8->text() + form.Edit33->text() + form.Edit34->text() +
                form.Edit35->text() + form.Edit36->text(),
            "020000000001");
  // The client is left active, bound to "Local Port ", pointed back at
  // "Remote IP ", without broadcast permission; the link itself was not opened.
  EXPECT_TRUE(form.IdUDPClient1.Active());
  EXPECT_EQ(form.IdUDPClient1.BoundPort(), localPort);
  EXPECT_EQ(form.IdUDPClient1.Host, "127.0.0.1");
  EXPECT_FALSE(form.IdUDPClient1.SocketBroadcast());
  EXPECT_EQ(form.Button32->text(), "Create");

  // "Create" afterwards opens the link on the same port.
  form.Button32->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_EQ(form.Button32->text(), "Close");
  EXPECT_EQ(form.IdUDPClient1.BoundPort(), localPort);
}

TEST_F(UdpLink, BusSwitchReadWhileTheLinkIsOpenKeepsItOpen) {
  form.Button32->click();
  ASSERT_EQ(form.Button32->text(), "Close");
  std::thread peer = Answer(WithChecksum(FromHex(kConfigReply)));
  EXPECT_TRUE(ClickAndWait(form, form.btn2));
  peer.join();
  EXPECT_EQ(form.SpinEdit12->Value(), 7);
  EXPECT_EQ(form.Button32->text(), "Close");
  EXPECT_FALSE(form.Edit4->isEnabled());
  EXPECT_EQ(form.IdUDPClient1.BoundPort(), localPort);

  // The link still works as before.
  peer = Answer(WithChecksum(FromHex("55 AA 0E 00 01 01 80 07 01 41 42 43")));
  EXPECT_TRUE(ClickAndWait(form, form.Button29));
  peer.join();
  EXPECT_EQ(form.Edit2->text(), "ABC");
}

TEST_F(UdpLink, BusSwitchReadOnATakenPortShowsTheBindError) {
  LoopbackSocket holder;
  form.Edit6->setText(QString::number(holder.port()));
  form.btn2->click();
  EXPECT_EQ(dialogs.errors, QStringList{"Could not bind socket. Address and port are already in use."});
  EXPECT_TRUE(LogText(form).isEmpty());
}

TEST_F(UdpLink, BusSwitchReadThatFailsStillPointsTheClientBack) {
  form.Button32->click();
  ASSERT_EQ(form.Button32->text(), "Close");
  form.SetBusSwitchBroadcastHost("no-such-host.invalid");
  form.btn2->click();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].startsWith("Socket Error # "));
  EXPECT_EQ(form.IdUDPClient1.Host, "127.0.0.1");
  EXPECT_EQ(form.IdUDPClient1.BoundPort(), localPort);
  EXPECT_FALSE(form.IdUDPClient1.SocketBroadcast());

  // The open link still reaches the bus switch.
  std::thread peer = Answer(WithChecksum(FromHex("55 AA 0E 00 01 01 80 07 01 41 42 43")));
  EXPECT_TRUE(ClickAndWait(form, form.Button29));
  peer.join();
  EXPECT_EQ(form.Edit2->text(), "ABC");
}

}  // namespace
}  // namespace veltra::test
