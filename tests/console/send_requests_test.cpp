// Every command button, clicked, hands its exact frame to the selected link:
// the direct form to the serial link with "Com ", the routed form as a
// datagram with "TCP/IP ", and logs it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QCoreApplication>
#include <functional>

#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console_support.h"

namespace veltra::test {
namespace {

struct RequestRow {
  const char* button;
  std::function<void(MainWindow&)> fill;
  const char* direct;  // frame without its checksum, "Com " selected
  const char* routed;  // "TCP/IP " selected, Subnet ID 258
};

void Spins(MainWindow& f, std::initializer_list<std::pair<const char*, int>> values) {
  for (auto [spin, value] : values) Spin(f, spin)->SetValue(value);
}

const RequestRow kRows[] = {
    // Subnet Module Settings: "Module Addr. :" 3.
    {"Button1", [](MainWindow& f) { Spins(f, {{"SpinEdit1", 3}}); }, "55 AA 09 FF 00 00 03", "55 AA 0B 01 02 FF 00 00 03"},
    {"Button22", [](MainWindow& f) { Spins(f, {{"SpinEdit1", 3}}); }, "55 AA 08 FF 00 05", "55 AA 0A 01 02 FF 00 05"},
    {"Button23", [](MainWindow& f) { Spins(f, {{"SpinEdit1", 0}}); }, "55 AA 08 00 00 09", "55 AA 0A 01 02 00 00 09"},
    {"Button12", [](MainWindow& f) { Spins(f, {{"SpinEdit1", 33}}); }, "55 AA 08 21 00 06", "55 AA 0A 01 02 21 00 06"},
    {"Button29", [](MainWindow& f) { Spins(f, {{"SpinEdit1", 3}}); }, "55 AA 08 03 00 07", "55 AA 0A 01 02 03 00 07"},
    {"Button31", [](MainWindow& f) { Spins(f, {{"SpinEdit1", 3}}); }, "55 AA 08 03 00 0A", "55 AA 0A 01 02 03 00 0A"},
    // Light Control: module 5, output 8, 65001 s.
    {"Button2", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}, {"SpinEdit3", 8}}); }, "55 AA 0A 05 02 01 07 FF",
     "55 AA 0C 01 02 05 02 01 07 FF"},
    {"Button3", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}, {"SpinEdit3", 1}}); }, "55 AA 0A 05 02 02 00 FF",
     "55 AA 0C 01 02 05 02 02 00 FF"},
    {"Button4", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}, {"SpinEdit3", 2}}); }, "55 AA 0A 05 02 03 01 FF",
     "55 AA 0C 01 02 05 02 03 01 FF"},
    {"Button5", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}, {"SpinEdit3", 2}}); }, "55 AA 0A FF 02 04 FF FF",
     "55 AA 0C 01 02 FF 02 04 FF FF"},
    {"Button6", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}}); }, "55 AA 0A FF 02 05 FF FF",
     "55 AA 0C 01 02 FF 02 05 FF FF"},
    {"Button30", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}, {"SpinEdit3", 8}, {"SpinEdit11", 65001}}); },
     "55 AA 0B 05 02 00 07 FD E9", "55 AA 0D 01 02 05 02 00 07 FD E9"},
    {"Button11", [](MainWindow& f) { Spins(f, {{"SpinEdit2", 5}}); }, "55 AA 08 05 00 08", "55 AA 0A 01 02 05 00 08"},
    // Curtain Control: module 6, output 4, 60.1 s.
    {"Button14", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}, {"SpinEdit10", 4}}); }, "55 AA 0A 06 01 01 03 FF",
     "55 AA 0C 01 02 06 01 01 03 FF"},
    {"Button15", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}, {"SpinEdit10", 1}}); }, "55 AA 0A 06 01 02 00 FF",
     "55 AA 0C 01 02 06 01 02 00 FF"},
    {"Button16", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}, {"SpinEdit10", 2}}); }, "55 AA 0A 06 01 03 01 FF",
     "55 AA 0C 01 02 06 01 03 01 FF"},
    {"Button18", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}}); }, "55 AA 0A FF 01 04 FF FF", "55 AA 0C 01 02 FF 01 04 FF FF"},
    {"Button20", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}}); }, "55 AA 0A FF 01 05 FF FF", "55 AA 0C 01 02 FF 01 05 FF FF"},
    {"Button17", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}}); }, "55 AA 0A FF 01 06 FF FF", "55 AA 0C 01 02 FF 01 06 FF FF"},
    {"Button21", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}, {"SpinEdit10", 4}, {"SpinEdit8", 601}}); },
     "55 AA 0B 06 01 00 03 EA C4", "55 AA 0D 01 02 06 01 00 03 EA C4"},
    {"Button19", [](MainWindow& f) { Spins(f, {{"SpinEdit9", 6}}); }, "55 AA 08 06 00 08", "55 AA 0A 01 02 06 00 08"},
    // IR Control: module 2, code 5; the direct frame on both links.
    {"Button24", [](MainWindow& f) { Spins(f, {{"SpinEdit14", 2}, {"SpinEdit13", 5}}); }, "55 AA 0A 02 03 00 01 FF",
     "55 AA 0A 02 03 00 01 FF"},
    {"Button26", [](MainWindow& f) { Spins(f, {{"SpinEdit14", 2}, {"SpinEdit13", 5}}); }, "55 AA 0A 02 03 01 01 FF",
     "55 AA 0A 02 03 01 01 FF"},
    {"Button25", [](MainWindow& f) { Spins(f, {{"SpinEdit14", 2}, {"SpinEdit13", 249}}); }, "55 AA 0A 02 03 02 01 F9",
     "55 AA 0A 02 03 02 01 F9"},
    {"Button27", [](MainWindow& f) { Spins(f, {{"SpinEdit14", 2}, {"SpinEdit13", 5}}); }, "55 AA 0A 02 03 03 01 FF",
     "55 AA 0A 02 03 03 01 FF"},
    {"Button28", [](MainWindow& f) { Spins(f, {{"SpinEdit14", 2}, {"SpinEdit13", 5}}); }, "55 AA 0A 02 03 04 01 05",
     "55 AA 0A 02 03 04 01 05"},
    // Input Module Control.
    {"Button35", [](MainWindow& f) { Spins(f, {{"SpinEdit18", 2}}); }, "55 AA 0F 01 00 01 00 00 02 01 02 00 00",
     "55 AA 11 01 02 01 00 01 00 00 02 01 02 00 00"},
    {"Button35",
     [](MainWindow& f) {
       Spins(f, {{"SpinEdit15", 4}, {"SpinEdit17", 32}, {"SpinEdit18", 7}, {"SpinEdit16", 8}, {"SpinEdit20", 9}});
       List(f, "ComboBox15")->setCurrentIndex(1);
       List(f, "ComboBox16")->setCurrentText("Scene");
     },
     "55 AA 0F 04 00 01 1F 01 00 04 FF FF 09", "55 AA 11 01 02 04 00 01 1F 01 00 04 FF FF 09"},
    {"Button35",
     [](MainWindow& f) {
       Spins(f, {{"SpinEdit18", 7}, {"SpinEdit16", 8}, {"SpinEdit20", 9}});
       List(f, "ComboBox16")->setCurrentText("Turn on All Lights");
     },
     "55 AA 0F 01 00 01 00 00 02 04 FF FF FF", "55 AA 11 01 02 01 00 01 00 00 02 04 FF FF FF"},
    {"Button36",
     [](MainWindow& f) {
       Spins(f, {{"SpinEdit15", 4}, {"SpinEdit17", 3}, {"SpinEdit18", 7}});
       List(f, "ComboBox16")->setCurrentText("Scene");
     },
     "55 AA 0F 04 00 01 02 FF FF FF FF FF FF", "55 AA 11 01 02 04 00 01 02 FF FF FF FF FF FF"},
    // Scene Control.
    {"Button7",
     [](MainWindow& f) {
       Spins(f, {{"SpinEdit5", 1}, {"SpinEdit4", 0}, {"SpinEdit6", 2}});
       ChannelList(f, 0)->setCurrentText("ON");
       ChannelList(f, 2)->setCurrentText("OFF");  // beyond "Outputs :", not sent
     },
     "55 AA 0B 01 00 02 00 01 FF", "55 AA 0D 01 02 01 00 02 00 01 FF"},
    {"Button7",
     [](MainWindow& f) {
       Spins(f, {{"SpinEdit5", 9}, {"SpinEdit4", 50}, {"SpinEdit6", 8}});
       for (int k = 0; k < 8; ++k) ChannelList(f, static_cast<std::size_t>(k))->setCurrentIndex(k % 3);
     },
     "55 AA 11 09 00 02 32 00 01 FF 00 01 FF 00 01", "55 AA 13 01 02 09 00 02 32 00 01 FF 00 01 FF 00 01"},
    {"Button13", [](MainWindow& f) { Spins(f, {{"SpinEdit5", 3}, {"SpinEdit4", 7}}); }, "55 AA 09 03 00 03 07",
     "55 AA 0B 01 02 03 00 03 07"},
    {"Button8", [](MainWindow& f) { Spins(f, {{"SpinEdit5", 3}, {"SpinEdit4", 5}}); }, "55 AA 0A FF 00 04 FF 05",
     "55 AA 0C 01 02 FF 00 04 FF 05"},
    // Bus Switch Settings: routed on both links, subnet of the panel.
    {"Button9", [](MainWindow&) {}, "55 AA 0A 01 02 FF 00 06", "55 AA 0A 01 02 FF 00 06"},
    {"Button33", [](MainWindow&) {}, "55 AA 0A 01 02 FF 00 07", "55 AA 0A 01 02 FF 00 07"},
    {"Button34", [](MainWindow& f) { Spin(f, "SpinEdit12")->SetValue(77); }, "55 AA 0A 01 02 FF 00 0A", "55 AA 0A 01 02 FF 00 0A"},
};

class SendRequests : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  CapturingWindow form{TestOptions(dialogs)};

  // Nothing answers here: each request's wait is cut short, so that the
  // next one may go.
  void SetUp() override {
    form.Controller().Serial().ReceiveTimeout = 1;
    form.Controller().Network().Client().ReceiveTimeout = 1;
  }
  void Click(const char* name) {
    auto* button = form.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    ASSERT_TRUE(ClickAndWait(form, button)) << name;
  }
  QStringList Log() { return LogText(form).split('\n', Qt::SkipEmptyParts); }
};

TEST(SendRequestsTable, EveryButtonSendsItsFrameInBothForms) {
  for (const RequestRow& row : kRows) {
    for (const bool network : {false, true}) {
      SCOPED_TRACE(std::string(row.button) + (network ? " routed" : " direct"));
      // A fresh window per case: the fields start from their defaults.
      FakeDialogs dialogs;
      CapturingWindow form{TestOptions(dialogs)};
      Check(form, "chk1")->setChecked(false);
      Spin(form, "SpinEdit7")->SetValue(258);
      (network ? Radio(form, "RadioButton1") : Radio(form, "RadioButton2"))->setChecked(true);
      row.fill(form);
      dialogs.answers = {true};  // "Are you sure?" of the restores
      auto* button = form.findChild<QPushButton*>(row.button);
      ASSERT_NE(button, nullptr);
      button->click();
      const std::vector<std::uint8_t> expected = WithChecksum(FromHex(network ? row.routed : row.direct));
      const auto& sent = network ? form.datagrams : form.serial;
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_EQ(Hex(sent[0]), Hex(expected));
      EXPECT_TRUE((network ? form.serial : form.datagrams).empty());
      EXPECT_EQ(LogText(form),
                QString::fromUtf8("Send \xEF\xBC\x9A") + QString::fromStdString(Hex(expected)) + " ");
      EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
    }
  }
}

TEST_F(SendRequests, WorkedExamplesAreSentByteForByte) {
  Check(form, "chk1")->setChecked(false);
  // "On" for module 1, output 1, direct.
  Click("Button2");
  // SetAddress giving a module the address 3.
  Spin(form, "SpinEdit1")->SetValue(3);
  Click("Button1");
  // Curtain travel time 20.0 s (the default).
  Click("Button21");
  // Routed SetOnTime of 300 s with Subnet ID 1.
  Radio(form, "RadioButton1")->setChecked(true);
  Spin(form, "SpinEdit11")->SetValue(300);
  Click("Button30");
  ASSERT_EQ(form.serial.size(), 3u);
  EXPECT_EQ(Hex(form.serial[0]), "55 AA 0A 01 02 01 00 FF 57 A6");
  EXPECT_EQ(Hex(form.serial[1]), "55 AA 09 FF 00 00 03 57 A0");
  EXPECT_EQ(Hex(form.serial[2]), "55 AA 0B 01 01 00 00 4E 20 54 D0");
  ASSERT_EQ(form.datagrams.size(), 1u);
  EXPECT_EQ(Hex(form.datagrams[0]), "55 AA 0D 00 01 01 02 00 00 01 2C 54 97");
  EXPECT_EQ(Log().first(), QString::fromUtf8("Send \xEF\xBC\x9A") + "55 AA 0A 01 02 01 00 FF 57 A6 ");
}

TEST_F(SendRequests, MaskedLogAndMonitorForm) {
  // Defaults: masked log, direct frames on the serial link.
  Click("Button22");
  Click("Button8");
  EXPECT_EQ(Log(), (QStringList{QString::fromUtf8("Send \xEF\xBC\x9AX"), QString::fromUtf8("Send \xEF\xBC\x9AX")}));
  ASSERT_EQ(form.serial.size(), 2u);
  EXPECT_EQ(form.serial[0][2], 8);
  // "Monitor" makes the serial link carry routed frames (not the IR ones).
  Check(form, "CheckBox13")->setChecked(true);
  Click("Button22");
  Click("Button28");
  ASSERT_EQ(form.serial.size(), 4u);
  EXPECT_EQ(Hex(form.serial[2]), Hex(WithChecksum(FromHex("55 AA 0A 00 01 FF 00 05"))));
  EXPECT_EQ(form.serial[3][2], 10);
  EXPECT_EQ(form.serial[3][3], 1);
}

TEST_F(SendRequests, LogLinesReachTheMemoInOrderThroughTheEventLoop) {
  Check(form, "chk1")->setChecked(false);
  Memo(form)->setPlainText("typed by hand");
  Click("Button22");
  Spin(form, "SpinEdit1")->SetValue(2);
  Click("Button23");
  QCoreApplication::processEvents();
  const QString send = QString::fromUtf8("Send \xEF\xBC\x9A");
  EXPECT_EQ(Memo(form)->toPlainText(), "typed by hand\n" + send + "55 AA 08 FF 00 05 57 A1 \n" + send +
                                           QString::fromStdString(Hex(WithChecksum(FromHex("55 AA 08 02 00 09")))) + " ");
  // The view follows the end of the log.
  for (int i = 0; i < 200; ++i) Click("Button22");
  QCoreApplication::processEvents();
  EXPECT_EQ(Memo(form)->blockCount(), 203);
  EXPECT_EQ(Memo(form)->verticalScrollBar()->value(), Memo(form)->verticalScrollBar()->maximum());
}

// "Are you sure?" keeps its text and says below it what is restored: the
// module's address, and its subnet when the frame carries one.
TEST_F(SendRequests, RestoreAnsweredNoSendsAndLogsNothing) {
  Check(form, "chk1")->setChecked(false);
  Memo(form)->setPlainText("earlier line");
  Spin(form, "SpinEdit1")->SetValue(3);
  for (const char* restore : {"Button31", "Button34"}) {
    dialogs.answers = {false};
    Click(restore);
  }
  Radio(form, "RadioButton1")->setChecked(true);
  Spin(form, "SpinEdit7")->SetValue(258);
  for (const char* restore : {"Button31", "Button34"}) {
    dialogs.answers = {false};
    Click(restore);
  }
  EXPECT_EQ(dialogs.confirms, QStringList(4, "Are you sure?"));
  EXPECT_EQ(dialogs.confirmDetails,
            (QStringList{"Module 3 (direct on the serial line, no subnet)", "The bus switch (address 255) on subnet 1",
                         "Module 3 on subnet 258", "The bus switch (address 255) on subnet 258"}));
  EXPECT_EQ(LogText(form), "earlier line");
  EXPECT_TRUE(form.serial.empty());
  EXPECT_TRUE(form.datagrams.empty());
}

TEST_F(SendRequests, RestoreGoesToTheModuleShownWhenClickedWhateverIsHeardMeanwhile) {
  // An address reply heard on the line while "Are you sure?" is open answers
  // no request: it is logged and changes neither the field nor the module
  // the operator is restoring.
  Check(form, "chk1")->setChecked(false);
  Spin(form, "SpinEdit1")->SetValue(3);
  dialogs.answers = {true};
  dialogs.whileAsking = [this] {
    const auto reply = WithChecksum(FromHex("55 AA 0A 05 80 05 01 09"));
    form.Controller().SerialChunk(reply.data(), static_cast<std::uint16_t>(reply.size()));
  };
  Click("Button31");
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 3);
  ASSERT_EQ(form.serial.size(), 1u);
  EXPECT_EQ(Hex(form.serial[0]), Hex(WithChecksum(FromHex("55 AA 08 03 00 0A"))));
  EXPECT_EQ(Log().first(), QString::fromUtf8("Unrelated frame: Read \xEF\xBC\x9A") +
                               QString::fromStdString(Hex(WithChecksum(FromHex("55 AA 0A 05 80 05 01 09")))) + "   OK!");
}

TEST_F(SendRequests, BusSwitchSetSendsTheRecord) {
  Spin(form, "SpinEdit12")->SetValue(258);
  const std::pair<QLineEdit*, const char*> texts[] = {
      {Edit(form, "Edit9"), "192"},  {Edit(form, "edt5"), "168"},   {Edit(form, "Edit15"), "14"}, {Edit(form, "Edit17"), "3"},  {Edit(form, "Edit11"), "2001"},
      {Edit(form, "Edit21"), "255"}, {Edit(form, "Edit22"), "255"}, {Edit(form, "Edit23"), "255"}, {Edit(form, "Edit24"), "0"}, {Edit(form, "Edit25"), "192"},
      {Edit(form, "Edit26"), "168"}, {Edit(form, "Edit27"), "14"},  {Edit(form, "Edit28"), "1"},  {Edit(form, "Edit29"), "192"}, {Edit(form, "Edit30"), "168"},
      {Edit(form, "Edit31"), "14"},  {Edit(form, "Edit32"), "20"},  {Edit(form, "edt3"), "2002"}, {Edit(form, "Edit7"), "00"},  {Edit(form, "Edit8"), "1a"},
      {Edit(form, "Edit33"), "2B"},  {Edit(form, "Edit34"), "3c"},  {Edit(form, "Edit35"), "4D"}, {Edit(form, "Edit36"), "5e"},
  };
  for (auto [edit, text] : texts) edit->setText(text);
  Radio(form, "RadioButton1")->setChecked(true);  // routed whatever the link: here as a datagram
  ASSERT_TRUE(ClickAndWait(form, Button(form, "btn1")));
  ASSERT_EQ(form.datagrams.size(), 1u);
  EXPECT_EQ(Hex(form.datagrams[0]),
            Hex(WithChecksum(FromHex("55 AA 26 FF FF FF 00 00 01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 "
                                   "C0 A8 0E 14 07 D2 00 1A 2B 3C 4D 5E"))));

  // An octet of 256 goes out as 0, a one-digit MAC byte as itself.
  Edit(form, "Edit17")->setText("256");
  Edit(form, "Edit36")->setText("A");
  ASSERT_TRUE(ClickAndWait(form, Button(form, "btn1")));
  ASSERT_EQ(form.datagrams.size(), 2u);
  EXPECT_EQ(form.datagrams[1][13], 0x00);
  EXPECT_EQ(form.datagrams[1][35], 0x0A);

  // A field that does not convert: the error is shown, nothing is sent or logged.
  ClearLog(form);
  Edit(form, "edt3")->clear();
  Button(form, "btn1")->click();
  EXPECT_EQ(dialogs.errors, QStringList{"'' is not a valid integer value"});
  EXPECT_EQ(form.datagrams.size(), 2u);
  EXPECT_TRUE(LogText(form).isEmpty());
}

}  // namespace
}  // namespace veltra::test
