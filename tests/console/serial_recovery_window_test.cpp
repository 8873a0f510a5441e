// The window's serial line when its adapter is pulled and plugged back: a
// pseudo-terminal behind a symlink in a scratch folder (the "Com" list takes
// the symlink's path as typed), removed and made again with a new
// pseudo-terminal behind it. The row waits and says so, requests fail at
// once meanwhile and are never sent later, the line opens again by itself
// with the same settings within a second, and "Close" ends the waiting.
#include <gtest/gtest.h>
#include <termios.h>

#include <QTest>
#include <chrono>
#include <filesystem>

#include "../serial/pty_fixture.h"
#include "console_support.h"

namespace veltra::test {
namespace {

using namespace std::chrono_literals;

// "Read Software Version" answered by module 3, direct.
std::vector<std::uint8_t> VersionReply(const char* text) {
  std::vector<std::uint8_t> frame{0x55, 0xAA, 0x0C, 0x03, 0x80, 0x07, 0x01};
  for (const char* c = text; *c; ++c) frame.push_back(static_cast<std::uint8_t>(*c));
  return WithChecksum(frame);
}

class SerialRecoveryWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch.ok());
    std::filesystem::create_directory(scratch / "by-id");
    ASSERT_TRUE(adapter.Plug());
    dialogs.messages.clear();
  }
  MainWindowOptions Options() {
    MainWindowOptions options = TestOptions(dialogs);
    options.stableSerialFolder = scratch / "by-id";
    return options;
  }
  // Types the path into the "Com" list, 19200 baud, and presses "Create".
  void Create(const std::string& path) {
    SelectPort(form, QString::fromStdString(path));
    QComboBox* baud = List(form, "ComboBox1");
    ASSERT_GE(baud->findText("19200"), 0);
    baud->setCurrentIndex(baud->findText("19200"));
    Button(form, "Button10")->click();
    ASSERT_EQ(Caption(form, "Button10"), "Close");
    Spin(form, "SpinEdit1")->SetValue(3);
  }
  // One request answered through the adapter plugged in now.
  void AskAndAnswer(const char* text) {
    Button(form, "Button29")->click();
    ASSERT_EQ(adapter.pty().Receive(8).size(), 8u);
    ASSERT_TRUE(adapter.pty().Send(VersionReply(text)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit2")->text() == text; }, 3000));
  }
  bool WaitForText(const QString& text) {
    return QTest::qWaitFor([&] { return form.ExchangeText() == text; }, 3000);
  }

  ScratchFolder scratch;
  PluggablePty adapter{scratch / "by-id/usb-Veltra_Test_Adapter-if00-port0"};
  FakeDialogs dialogs;
  MainWindow form{Options()};
};

TEST_F(SerialRecoveryWindow, APulledAdapterIsWaitedForAndTheLineOpensAgainByItself) {
  const QString port = QString::fromStdString(adapter.link());
  const QString waiting = "Serial device disconnected: " + port + ": waiting for it to return";
  Create(adapter.link());
  AskAndAnswer("ABC");

  // Pulled while a request waits: the request ends with the line, the row
  // waits.
  Button(form, "Button29")->click();
  ASSERT_EQ(adapter.pty().Receive(8).size(), 8u);
  adapter.Pull();
  ASSERT_TRUE(WaitForText(waiting)) << form.ExchangeText().toStdString();
  EXPECT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_EQ(form.StatusText(), waiting);
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(form.Controller().SerialDown());
  form.FlushLog();
  EXPECT_TRUE(form.LogContents().contains(waiting)) << form.LogContents().toStdString();

  // During the outage a request fails at once, before any event loop runs.
  Button(form, "Button29")->click();
  EXPECT_EQ(form.ExchangeText(), "Com link is down: request not sent");
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());

  // Plugged back: another pseudo-terminal behind the same symlink.
  ASSERT_TRUE(adapter.Plug());
  const auto plugged = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitForText("Serial device reconnected: " + port)) << form.ExchangeText().toStdString();
  EXPECT_LT(std::chrono::steady_clock::now() - plugged, 1s);
  EXPECT_EQ(form.StatusText(), "Com is running!");
  EXPECT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_FALSE(form.Controller().SerialDown());
  termios line{};
  ASSERT_EQ(tcgetattr(adapter.pty().slave(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200)) << "the same line settings";
  // Nothing of the outage is sent now: neither the request that waited nor
  // the one refused.
  EXPECT_TRUE(adapter.pty().Receive(1, 300ms).empty());
  AskAndAnswer("DEF");

  // And once more, on the pseudo-terminal plugged in last.
  adapter.Pull();
  ASSERT_TRUE(WaitForText(waiting)) << form.ExchangeText().toStdString();
  ASSERT_TRUE(adapter.Plug());
  ASSERT_TRUE(WaitForText("Serial device reconnected: " + port)) << form.ExchangeText().toStdString();
  AskAndAnswer("GHI");
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
  Button(form, "Button10")->click();
  EXPECT_EQ(Caption(form, "Button10"), "Create");
}

TEST_F(SerialRecoveryWindow, CloseEndsTheWaiting) {
  Create(adapter.link());
  adapter.Pull();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Controller().SerialDown(); }, 3000));
  Button(form, "Button10")->click();
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  EXPECT_EQ(form.StatusText(), kHowToBegin);
  EXPECT_FALSE(form.Controller().SerialDown());
  EXPECT_TRUE(Ports(form)->isEnabled()) << "the row's fields are free again";

  ASSERT_TRUE(adapter.Plug());
  QTest::qWait(500);
  EXPECT_FALSE(form.Controller().SerialOpen()) << "closed stays closed";
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  EXPECT_FALSE(form.ExchangeText().startsWith("Serial device reconnected")) << form.ExchangeText().toStdString();
  // A request now finds the link closed, not down.
  Button(form, "Button29")->click();
  EXPECT_EQ(form.ExchangeText(), "Com link is not open: request not sent");
  EXPECT_TRUE(adapter.pty().Receive(1, 200ms).empty());
}

// Picked by its device path (/dev/ttyUSB0 on a real system), the adapter is
// waited for by the stable name behind it, wherever that leads when it is
// back, and said to be back by that name.
TEST_F(SerialRecoveryWindow, PickedByItsDevicePathTheLineComesBackByTheStableName) {
  const QString device = QString::fromStdString(adapter.device());
  Create(adapter.device());
  EXPECT_EQ(form.Controller().Serial().ReopenPath(), adapter.link());
  adapter.Pull();
  ASSERT_TRUE(WaitForText("Serial device disconnected: " + device + ": waiting for it to return"))
      << form.ExchangeText().toStdString();
  ASSERT_TRUE(adapter.Plug());
  ASSERT_TRUE(WaitForText("Serial device reconnected: " + QString::fromStdString(adapter.link())))
      << form.ExchangeText().toStdString();
  AskAndAnswer("JKL");
  Button(form, "Button10")->click();
}

}  // namespace
}  // namespace veltra::test
