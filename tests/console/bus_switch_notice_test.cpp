// The window's UDP link when the bus switch is not there: a closed port on
// its host (ICMP port unreachable) is said at once as a refusal, not after
// the time-out; three requests in a row without reply put a notice in the
// status bar until a reply comes; "Check bus switch every 10 s" is the only
// thing that sends unasked, and only while ticked; a request that failed is
// never sent again. Peers are loopback sockets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>
#include <chrono>
#include <thread>

#include "../support/bytes.h"
#include "console/console_controller.h"
#include "console_support.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;

// "Read Software Version" of module 3 on subnet 1 answered, routed.
const char* kSwitchedVersionReply = "55 AA 0E 00 01 03 80 07 01 41 42 43";

class BusSwitchNotice : public ::testing::Test {
 protected:
  void SetUp() override {
    dialogs.messages.clear();
    Check(form, "chk1")->setChecked(false);
    form.Controller().Network().Client().ReceiveTimeout = 60;
    Spin(form, "SpinEdit1")->SetValue(3);
  }
  void OpenTo(int remotePort) {
    Edit(form, "Edit4")->setText("127.0.0.1");
    Edit(form, "Edit5")->setText(QString::number(remotePort));
    Edit(form, "Edit6")->setText("0");
    Button(form, "Button32")->click();
    ASSERT_EQ(Caption(form, "Button32"), "Close");
    Radio(form, "RadioButton1")->setChecked(true);
  }
  void Ask() { ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29"))); }
  // Every datagram the peer has had by now, each with its sender.
  static int Drain(LoopbackSocket& peer, int waitMs = 150) {
    int count = 0;
    while (!peer.Receive(waitMs).empty()) ++count;
    return count;
  }

  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
};

TEST_F(BusSwitchNotice, AClosedPortIsARefusalAtOnceAndCountsAsNoReply) {
  const int closed = FreeUdpPort();  // nothing listens there
  const QString peer = QStringLiteral("127.0.0.1:%1").arg(closed);
  OpenTo(closed);
  form.Controller().Network().Client().ReceiveTimeout = 5000;
  const auto asked = std::chrono::steady_clock::now();
  Ask();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 4s) << "not the 5 s time-out";
  EXPECT_EQ(form.ExchangeText(), "Connection refused by " + peer);
  EXPECT_EQ(form.StatusText(), "UDP is running!");
  Ask();
  Ask();
  EXPECT_EQ(form.StatusText(),
            "UDP is running!  Bus switch at " + peer + " is not answering (3 requests without reply)");
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
}

TEST_F(BusSwitchNotice, ThreeRequestsWithoutReplyUntilAReplyComesAndNothingIsSentAgain) {
  LoopbackSocket busSwitch;
  const QString notice = QStringLiteral("Bus switch at 127.0.0.1:%1 is not answering (%2 requests without reply)");
  OpenTo(busSwitch.port());
  Ask();
  Ask();
  EXPECT_EQ(form.ExchangeText(), "No reply within 60 ms");
  EXPECT_EQ(form.StatusText(), "UDP is running!") << "two are not yet a pattern";
  Ask();
  EXPECT_EQ(form.StatusText(), "UDP is running!  " + notice.arg(busSwitch.port()).arg(3));
  Ask();
  EXPECT_EQ(form.StatusText(), "UDP is running!  " + notice.arg(busSwitch.port()).arg(4));
  // Each request went once: none was sent again by itself.
  EXPECT_EQ(Drain(busSwitch, 300), 4);

  // A reply ends the notice.
  form.Controller().Network().Client().ReceiveTimeout = 2000;
  std::thread answer([&] {
    sockaddr_in from{};
    if (!busSwitch.Receive(3000, &from).empty()) busSwitch.SendTo(from, WithChecksum(FromHex(kSwitchedVersionReply)));
  });
  Ask();
  answer.join();
  EXPECT_EQ(Edit(form, "Edit2")->text(), "ABC");
  EXPECT_EQ(form.StatusText(), "UDP is running!");

  // Closing the link forgets the count.
  form.Controller().Network().Client().ReceiveTimeout = 60;
  for (int i = 0; i < 3; ++i) Ask();
  EXPECT_TRUE(form.StatusText().contains("is not answering")) << form.StatusText().toStdString();
  Button(form, "Button32")->click();
  EXPECT_EQ(form.StatusText(), kHowToBegin);
}

TEST_F(BusSwitchNotice, OnlyTheTickedCheckSendsUnasked) {
  QCheckBox* check = Check(form, "BusSwitchCheck");
  EXPECT_EQ(ui::WithoutMnemonic(check->text()), "Check bus switch every 10 s");
  EXPECT_EQ(check->accessibleName(), "Check bus switch every 10 s");
  EXPECT_FALSE(check->isChecked()) << "off by default";
  EXPECT_TRUE(check->isVisible() || !form.isVisible());

  LoopbackSocket busSwitch;
  form.Controller().SetBusSwitchCheckInterval(50ms);
  OpenTo(busSwitch.port());
  QTest::qWait(400);
  EXPECT_EQ(Drain(busSwitch, 50), 0) << "nothing probes unless asked";

  check->setChecked(true);
  EXPECT_TRUE(form.Controller().BusSwitchCheck());
  QTest::qWait(600);
  sockaddr_in from{};
  const std::vector<std::uint8_t> probe = busSwitch.Receive(100, &from);
  ASSERT_GE(probe.size(), 9u);
  EXPECT_EQ(probe[5], 255) << "addressed to the bus switch";
  EXPECT_GE(Drain(busSwitch, 50), 2);
  // Silent probes count as requests without reply.
  EXPECT_TRUE(form.StatusText().contains("is not answering")) << form.StatusText().toStdString();

  check->setChecked(false);
  EXPECT_FALSE(form.Controller().BusSwitchCheck());
  QTest::qWait(150);  // a probe on its way ends
  Drain(busSwitch, 50);
  QTest::qWait(400);
  EXPECT_EQ(Drain(busSwitch, 50), 0) << "unticked: nothing more";
}

}  // namespace
}  // namespace veltra::test
