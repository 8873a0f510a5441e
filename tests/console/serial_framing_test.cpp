// Replies on the serial line as a module sends them, over a pseudo-terminal:
// framed by their Length whatever the reader's chunks, in the direct form and
// in the routed form of the "Monitor" mode.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <random>

#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "serial/comm.h"

namespace veltra::test {
namespace {

class SerialFraming : public ::testing::TestWithParam<FrameForm> {
 protected:
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
  Pty pty;
  int chunks = 0;

  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    const QString path = QString::fromStdString(pty.path());
    Ports(form)->addItem(path);
    Ports(form)->setCurrentText(path);
    Check(form, "CheckBox13")->setChecked(GetParam() == FrameForm::Routed);
    Spin(form, "SpinEdit1")->SetValue(5);
    // Count the reader's deliveries, then let them through.
    form.Controller().Serial().Port().OnReceiveData = [this, deliver = form.Controller().Serial().Port().OnReceiveData](
                                    TComm& sender, const std::uint8_t* bytes, std::uint16_t length) {
      ++chunks;
      deliver(sender, bytes, length);
    };
    Button(form, "Button10")->click();
    ASSERT_EQ(Caption(form, "Button10"), "Close");
  }

  // A reply from module 5 in the form under test: `fields` are Class,
  // Command, Status and parameters; the routed form carries subnet 1.
  std::vector<std::uint8_t> Reply(const std::string& fields) const {
    std::vector<std::uint8_t> frame = FromHex("55 AA 00");
    if (GetParam() == FrameForm::Routed) frame.insert(frame.end(), {0x00, 0x01});
    frame.push_back(0x05);
    const auto rest = FromHex(fields);
    frame.insert(frame.end(), rest.begin(), rest.end());
    frame[2] = static_cast<std::uint8_t>(frame.size() + 2);
    return WithChecksum(frame);
  }
  std::vector<std::uint8_t> AddressReply(int address) const {
    return Reply("80 05 01 " + Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(address)}));
  }
  std::vector<std::uint8_t> TypeReply() const { return Reply("80 06 01 01 2A"); }

  // Lines of frames received: answers, and frames that answer nothing.
  int ReadLines() {
    int n = 0;
    for (const QString& line : LogText(form).split('\n', Qt::SkipEmptyParts))
      if (line.contains(QString::fromUtf8("Read \xEF\xBC\x9A"))) ++n;
    return n;
  }
  // "Read" of the address of the module in programming mode: any module's
  // address reply answers it.
  void AskAddress() {
    ASSERT_TRUE(Button(form, "Button22")->isEnabled());
    Button(form, "Button22")->click();
    ASSERT_FALSE(form.RequestsHeldBecause().isEmpty());
  }
  // Waits until the reply frames behind `lines` Read lines are decoded, then
  // a little longer, so that a frame decoded twice would show.
  bool SettlesAt(int lines) {
    const bool reached = QTest::qWaitFor([&] { return ReadLines() >= lines; }, 3000);
    QTest::qWait(150);
    return reached && ReadLines() == lines;
  }
};

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_P(SerialFraming, ReaderHandsBytesOverAsTheyComeWhateverTheRate) {
  // Frames are cut by their Length, not by pauses on the line.
  EXPECT_EQ(form.Controller().Serial().Port().ReadIntervalTimeout(), kNoIntervalLimit);
  Button(form, "Button10")->click();
  List(form, "ComboBox1")->setCurrentText("1200");
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  EXPECT_EQ(form.Controller().Serial().Port().ReadIntervalTimeout(), kNoIntervalLimit);
}

TEST_P(SerialFraming, TwoFramesInOneBurstAreBothDecodedAndOnlyTheAnswerTakesEffect) {
  AskAddress();
  ASSERT_TRUE(pty.Send(Join({AddressReply(3), TypeReply()})));
  ASSERT_TRUE(SettlesAt(2)) << LogText(form).toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 3);
  // The module type answers no request of the window: logged, nowhere else.
  EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty());
  EXPECT_TRUE(LogText(form).split('\n').last().startsWith("Unrelated frame: Read ")) << LogText(form).toStdString();
  EXPECT_EQ(chunks, 1);
}

TEST_P(SerialFraming, ReplyBehindRandomBytesIsDecoded) {
  AskAddress();
  std::mt19937 random(GetParam() == FrameForm::Routed ? 7 : 3);
  std::vector<std::uint8_t> noise(50);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  ASSERT_TRUE(pty.Send(Join({noise, AddressReply(9)})));
  ASSERT_TRUE(SettlesAt(1)) << LogText(form).toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 9);
}

TEST_P(SerialFraming, ReplyWrittenByteByByteIsDecodedOnce) {
  Button(form, "Button12")->click();  // "Read Module Type" of module 5
  for (std::uint8_t byte : TypeReply()) {
    ASSERT_TRUE(pty.Send({byte}));
    QTest::qWait(5);
  }
  ASSERT_TRUE(SettlesAt(1)) << LogText(form).toStdString();
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
  EXPECT_GT(chunks, 1) << "the reader delivered the reply in one piece: nothing was joined";
}

TEST_P(SerialFraming, BadChecksumBeforeAGoodReplyGivesOneReadLine) {
  AskAddress();
  auto broken = AddressReply(4);
  broken.back() ^= 0x40;
  ASSERT_TRUE(pty.Send(Join({broken, AddressReply(6)})));
  ASSERT_TRUE(SettlesAt(1)) << LogText(form).toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 6);
}

TEST_P(SerialFraming, TruncatedReplyIsGivenUpAfterTheSilence) {
  // Its Length (32) reaches past the reply that follows it.
  const auto truncated = FromHex("55 AA 20 05 80 07");
  AskAddress();
  ASSERT_TRUE(pty.Send(truncated));
  QTest::qWait(200);
  ASSERT_TRUE(pty.Send(AddressReply(7)));
  ASSERT_TRUE(SettlesAt(1)) << LogText(form).toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 7);

  // With no silence between them the reply waits inside the truncated one's
  // Length until the window gives that up; no later byte is needed for it.
  AskAddress();
  ASSERT_TRUE(pty.Send(Join({truncated, AddressReply(8)})));
  ASSERT_TRUE(SettlesAt(2)) << LogText(form).toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 8);
}

TEST_P(SerialFraming, ByteBeforeTheHeaderIsSkipped) {
  AskAddress();
  ASSERT_TRUE(pty.Send(Join({FromHex("00"), AddressReply(2)})));
  ASSERT_TRUE(SettlesAt(1)) << LogText(form).toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 2);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

// Over the simulated bus with its line as slow as a real one at 9600 baud:
// two requests one after the other, each answered at the line's pace, and
// both answers reach their fields.
TEST(SerialFramingOverTheSimulator, RequestsOneAfterTheOtherAreBothAnswered) {
  FakeDialogs dialogs;
  MainWindowOptions options = TestOptions(dialogs);
  SimulatorOptions simulation;
  simulation.udp = false;
  simulation.baud = 9600;
  options.simulator = std::make_shared<SimulatorRuntime>(simulation);
  MainWindow form(options);
  Radio(form, "RadioButton2")->setChecked(true);
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  Spin(form, "SpinEdit1")->SetValue(1);
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button12")));  // "Read Module Type"
  EXPECT_TRUE(form.ExchangeText().startsWith("Reply in ")) << form.ExchangeText().toStdString();
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button29")));  // "Read Software Version"
  ASSERT_TRUE(!Edit(form, "Edit1")->text().isEmpty() && !Edit(form, "Edit2")->text().isEmpty()) << LogText(form).toStdString();
  EXPECT_EQ(Edit(form, "Edit1")->text(), "0208");
  EXPECT_EQ(LogText(form).count(QString::fromUtf8("Read \xEF\xBC\x9A")), 2);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

INSTANTIATE_TEST_SUITE_P(BothForms, SerialFraming, ::testing::Values(FrameForm::Direct, FrameForm::Routed),
                         [](const ::testing::TestParamInfo<FrameForm>& info) {
                           return std::string(info.param == FrameForm::Direct ? "Direct" : "Routed");
                         });

}  // namespace
}  // namespace veltra::test
