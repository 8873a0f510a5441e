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
  std::function<void(TForm1&)> fill;
  const char* direct;  // frame without its checksum, "Com " selected
  const char* routed;  // "TCP/IP " selected, Subnet ID 258
};

void Spins(TForm1&, std::initializer_list<std::pair<SpinEdit*, int>> values) {
  for (auto [spin, value] : values) spin->SetValue(value);
}

const RequestRow kRows[] = {
    // Subnet Module Settings: "Module Addr. :" 3.
    {"Button1", [](TForm1& f) { Spins(f, {{f.SpinEdit1, 3}}); }, "55 AA 09 FF 00 00 03", "55 AA 0B 01 02 FF 00 00 03"},
    {"Button22", [](TForm1& f) { Spins(f, {{f.SpinEdit1, 3}}); }, "55 AA 08 FF 00 05", "55 AA 0A 01 02 FF 00 05"},
    {"Button23", [](TForm1& f) { Spins(f, {{f.SpinEdit1, 0}}); }, "55 AA 08 00 00 09", "55 AA 0A 01 02 00 00 09"},
    {"Button12", [](TForm1& f) { Spins(f, {{f.SpinEdit1, 33}}); }, "55 AA 08 21 00 06", "55 AA 0A 01 02 21 00 06"},
    {"Button29", [](TForm1& f) { Spins(f, {{f.SpinEdit1, 3}}); }, "55 AA 08 03 00 07", "55 AA 0A 01 02 03 00 07"},
    {"Button31", [](TForm1& f) { Spins(f, {{f.SpinEdit1, 3}}); }, "55 AA 08 03 00 0A", "55 AA 0A 01 02 03 00 0A"},
    // Light Control: module 5, output 8, 65001 s.
    {"Button2", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}, {f.SpinEdit3, 8}}); }, "55 AA 0A 05 02 01 07 FF",
     "55 AA 0C 01 02 05 02 01 07 FF"},
    {"Button3", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}, {f.SpinEdit3, 1}}); }, "55 AA 0A 05 02 02 00 FF",
     "55 AA 0C 01 02 05 02 02 00 FF"},
    {"Button4", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}, {f.SpinEdit3, 2}}); }, "55 AA 0A 05 02 03 01 FF",
     "55 AA 0C 01 02 05 02 03 01 FF"},
    {"Button5", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}, {f.SpinEdit3, 2}}); }, "55 AA 0A FF 02 04 FF FF",
     "55 AA 0C 01 02 FF 02 04 FF FF"},
    {"Button6", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}}); }, "55 AA 0A FF 02 05 FF FF",
     "55 AA 0C 01 02 FF 02 05 FF FF"},
    {"Button30", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}, {f.SpinEdit3, 8}, {f.SpinEdit11, 65001}}); },
     "55 AA 0B 05 02 00 07 FD E9", "55 AA 0D 01 02 05 02 00 07 FD E9"},
    {"Button11", [](TForm1& f) { Spins(f, {{f.SpinEdit2, 5}}); }, "55 AA 08 05 00 08", "55 AA 0A 01 02 05 00 08"},
    // Curtain Control: module 6, output 4, 60.1 s.
    {"Button14", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}, {f.SpinEdit10, 4}}); }, "55 AA 0A 06 01 01 03 FF",
     "55 AA 0C 01 02 06 01 01 03 FF"},
    {"Button15", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}, {f.SpinEdit10, 1}}); }, "55 AA 0A 06 01 02 00 FF",
     "55 AA 0C 01 02 06 01 02 00 FF"},
    {"Button16", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}, {f.SpinEdit10, 2}}); }, "55 AA 0A 06 01 03 01 FF",
     "55 AA 0C 01 02 06 01 03 01 FF"},
    {"Button18", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}}); }, "55 AA 0A FF 01 04 FF FF", "55 AA 0C 01 02 FF 01 04 FF FF"},
    {"Button20", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}}); }, "55 AA 0A FF 01 05 FF FF", "55 AA 0C 01 02 FF 01 05 FF FF"},
    {"Button17", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}}); }, "55 AA 0A FF 01 06 FF FF", "55 AA 0C 01 02 FF 01 06 FF FF"},
    {"Button21", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}, {f.SpinEdit10, 4}, {f.SpinEdit8, 601}}); },
     "55 AA 0B 06 01 00 03 EA C4", "55 AA 0D 01 02 06 01 00 03 EA C4"},
    {"Button19", [](TForm1& f) { Spins(f, {{f.SpinEdit9, 6}}); }, "55 AA 08 06 00 08", "55 AA 0A 01 02 06 00 08"},
    // IR Control: module 2, code 5; the direct frame on both links.
    {"Button24", [](TForm1& f) { Spins(f, {{f.SpinEdit14, 2}, {f.SpinEdit13, 5}}); }, "55 AA 0A 02 03 00 01 FF",
     "55 AA 0A 02 03 00 01 FF"},
    {"Button26", [](TForm1& f) { Spins(f, {{f.SpinEdit14, 2}, {f.SpinEdit13, 5}}); }, "55 AA 0A 02 03 01 01 FF",
     "55 AA 0A 02 03 01 01 FF"},
    {"Button25", [](TForm1& f) { Spins(f, {{f.SpinEdit14, 2}, {f.SpinEdit13, 249}}); }, "55 AA 0A 02 03 02 01 F9",
     "55 AA 0A 02 03 02 01 F9"},
    {"Button27", [](TForm1& f) { Spins(f, {{f.SpinEdit14, 2}, {f.SpinEdit13, 5}}); }, "55 AA 0A 02 03 03 01 FF",
     "55 AA 0A 02 03 03 01 FF"},
    {"Button28", [](TForm1& f) { Spins(f, {{f.SpinEdit14, 2}, {f.SpinEdit13, 5}}); }, "55 AA 0A 02 03 04 01 05",
     "55 AA 0A 02 03 04 01 05"},
    // Input Module Control.
    {"Button35", [](TForm1& f) { Spins(f, {{f.SpinEdit18, 2}}); }, "55 AA 0F 01 00 01 00 00 02 01 02 00 00",
     "55 AA 11 01 02 01 00 01 00 00 02 01 02 00 00"},
    {"Button35",
     [](TForm1& f) {
       Spins(f, {{f.SpinEdit15, 4}, {f.SpinEdit17, 32}, {f.SpinEdit18, 7}, {f.SpinEdit16, 8}, {f.SpinEdit20, 9}});
       f.ComboBox15->setCurrentIndex(1);
       f.ComboBox16->setCurrentText("Scene");
     },
     "55 AA 0F 04 00 01 1F 01 00 04 FF FF 09", "55 AA 11 01 02 04 00 01 1F 01 00 04 FF FF 09"},
    {"Button35",
     [](TForm1& f) {
       Spins(f, {{f.SpinEdit18, 7}, {f.SpinEdit16, 8}, {f.SpinEdit20, 9}});
       f.ComboBox16->setCurrentText("Turn on All Lights");
     },
     "55 AA 0F 01 00 01 00 00 02 04 FF FF FF", "55 AA 11 01 02 01 00 01 00 00 02 04 FF FF FF"},
    {"Button36",
     [](TForm1& f) {
       Spins(f, {{f.SpinEdit15, 4}, {f.SpinEdit17, 3}, {f.SpinEdit18, 7}});
       f.ComboBox16->setCurrentText("Scene");
     },
     "55 AA 0F 04 00 01 02 FF FF FF FF FF FF", "55 AA 11 01 02 04 00 01 02 FF FF FF FF FF FF"},
    // Scene Control.
    {"Button7",
     [](TForm1& f) {
       Spins(f, {{f.SpinEdit5, 1}, {f.SpinEdit4, 0}, {f.SpinEdit6, 2}});
       f.channelLists[0]->setCurrentText("ON");
       f.channelLists[2]->setCurrentText("OFF");  // beyond "Outputs :", not sent
     },
     "55 AA 0B 01 00 02 00 01 FF", "55 AA 0D 01 02 01 00 02 00 01 FF"},
    {"Button7",
     [](TForm1& f) {
       Spins(f, {{f.SpinEdit5, 9}, {f.SpinEdit4, 50}, {f.SpinEdit6, 8}});
       for (int k = 0; k < 8; ++k) f.channelLists[static_cast<std::size_t>(k)]->setCurrentIndex(k % 3);
     },
     "55 AA 11 09 00 02 32 00 01 FF 00 01 FF 00 01", "55 AA 13 01 02 09 00 02 32 00 01 FF 00 01 FF 00 01"},
    {"Button13", [](TForm1& f) { Spins(f, {{f.SpinEdit5, 3}, {f.SpinEdit4, 7}}); }, "55 AA 09 03 00 03 07",
     "55 AA 0B 01 02 03 00 03 07"},
    {"Button8", [](TForm1& f) { Spins(f, {{f.SpinEdit5, 3}, {f.SpinEdit4, 5}}); }, "55 AA 0A FF 00 04 FF 05",
     "55 AA 0C 01 02 FF 00 04 FF 05"},
    // Bus Switch Settings: routed on both links, subnet of the panel.
    {"Button9", [](TForm1&) {}, "55 AA 0A 01 02 FF 00 06", "55 AA 0A 01 02 FF 00 06"},
    {"Button33", [](TForm1&) {}, "55 AA 0A 01 02 FF 00 07", "55 AA 0A 01 02 FF 00 07"},
    {"Button34", [](TForm1& f) { f.SpinEdit12->SetValue(77); }, "55 AA 0A 01 02 FF 00 0A", "55 AA 0A 01 02 FF 00 0A"},
};

class SendRequests : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  CapturingForm form{TestOptions(dialogs)};

  // Nothing answers here: each request's wait is cut short, so that the
  // next one may go.
  void SetUp() override {
    form.serialLink->ReceiveTimeout = 1;
    form.IdUDPClient1.ReceiveTimeout = 1;
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
      CapturingForm form{TestOptions(dialogs)};
      form.chk1->setChecked(false);
      form.SpinEdit7->SetValue(258);
      (network ? form.RadioButton1 : form.RadioButton2)->setChecked(true);
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
  form.chk1->setChecked(false);
  // "On" for module 1, output 1, direct.
  Click("Button2");
  // SetAddress giving a module the address 3.
  form.SpinEdit1->SetValue(3);
  Click("Button1");
  // Curtain travel time 20.0 s (the default).
  Click("Button21");
  // Routed SetOnTime of 300 s with Subnet ID 1.
  form.RadioButton1->setChecked(true);
  form.SpinEdit11->SetValue(300);
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
  form.CheckBox13->setChecked(true);
  Click("Button22");
  Click("Button28");
  ASSERT_EQ(form.serial.size(), 4u);
  EXPECT_EQ(Hex(form.serial[2]), Hex(WithChecksum(FromHex("55 AA 0A 00 01 FF 00 05"))));
  EXPECT_EQ(form.serial[3][2], 10);
  EXPECT_EQ(form.serial[3][3], 1);
}

TEST_F(SendRequests, LogLinesReachTheMemoInOrderThroughTheEventLoop) {
  form.chk1->setChecked(false);
  form.Memo1->setPlainText("typed by hand");
  Click("Button22");
  form.SpinEdit1->SetValue(2);
  Click("Button23");
  QCoreApplication::processEvents();
  const QString send = QString::fromUtf8("Send \xEF\xBC\x9A");
  EXPECT_EQ(form.Memo1->toPlainText(), "typed by hand\n" + send + "55 AA 08 FF 00 05 57 A1 \n" + send +
                                           QString::fromStdString(Hex(WithChecksum(FromHex("55 AA 08 02 00 09")))) + " ");
  // The view follows the end of the log.
  for (int i = 0; i < 200; ++i) Click("Button22");
  QCoreApplication::processEvents();
  EXPECT_EQ(form.Memo1->blockCount(), 203);
  EXPECT_EQ(form.Memo1->verticalScrollBar()->value(), form.Memo1->verticalScrollBar()->maximum());
}

TEST_F(SendRequests, RestoreAnsweredNoSendsAndLogsNothing) {
  form.chk1->setChecked(false);
  form.Memo1->setPlainText("earlier line");
  for (const char* restore : {"Button31", "Button34"}) {
    dialogs.answers = {false};
    Click(restore);
  }
  EXPECT_EQ(dialogs.confirms, (QStringList{"Are you sure?", "Are you sure?"}));
  EXPECT_EQ(LogText(form), "earlier line");
  EXPECT_TRUE(form.serial.empty());
}

TEST_F(SendRequests, RestoreGoesToTheModuleShownWhenClickedWhateverIsHeardMeanwhile) {
  // An address reply heard on the line while "Are you sure?" is open answers
  // no request: it is logged and changes neither the field nor the module
  // the operator is restoring.
  form.chk1->setChecked(false);
  form.SpinEdit1->SetValue(3);
  dialogs.answers = {true};
  dialogs.whileAsking = [this] {
    const auto reply = WithChecksum(FromHex("55 AA 0A 05 80 05 01 09"));
    form.Comm1ReceiveData(reply.data(), static_cast<std::uint16_t>(reply.size()));
  };
  Click("Button31");
  EXPECT_EQ(form.SpinEdit1->Value(), 3);
  ASSERT_EQ(form.serial.size(), 1u);
  EXPECT_EQ(Hex(form.serial[0]), Hex(WithChecksum(FromHex("55 AA 08 03 00 0A"))));
  EXPECT_EQ(Log().first(), QString::fromUtf8("Unrelated frame: Read \xEF\xBC\x9A") +
                               QString::fromStdString(Hex(WithChecksum(FromHex("55 AA 0A 05 80 05 01 09")))) + "   OK!");
}

TEST_F(SendRequests, BusSwitchSetSendsTheRecord) {
  form.SpinEdit12->SetValue(258);
  const std::pair<QLineEdit*, const char*> texts[] = {
      {form.Edit9, "192"},  {form.edt5, "168"},   {form.Edit15, "14"}, {form.Edit17, "3"},  {form.Edit11, "2001"},
      {form.Edit21, "255"}, {form.Edit22, "255"}, {form.Edit23, "255"}, {form.Edit24, "0"}, {form.Edit25, "192"},
      {form.Edit26, "168"}, {form.Edit27, "14"},  {form.Edit28, "1"},  {form.Edit29, "192"}, {form.Edit30, "168"},
      {form.Edit31, "14"},  {form.Edit32, "20"},  {form.edt3, "2002"}, {form.Edit7, "00"},  {form.Edit8, "1a"},
      {form.Edit33, "2B"},  {form.Edit34, "3c"},  {form.Edit35, "4D"}, {form.Edit36, "5e"},
  };
  for (auto [edit, text] : texts) edit->setText(text);
  form.RadioButton1->setChecked(true);  // routed whatever the link: here as a datagram
  ASSERT_TRUE(ClickAndWait(form, form.btn1));
  ASSERT_EQ(form.datagrams.size(), 1u);
  EXPECT_EQ(Hex(form.datagrams[0]),
            Hex(WithChecksum(FromHex("55 AA 26 FF FF FF 00 00 01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 "
                                   "C0 A8 0E 14 07 D2 00 1A 2B 3C 4D 5E"))));

  // An octet of 256 goes out as 0, a one-digit MAC byte as itself.
  form.Edit17->setText("256");
  form.Edit36->setText("A");
  ASSERT_TRUE(ClickAndWait(form, form.btn1));
  ASSERT_EQ(form.datagrams.size(), 2u);
  EXPECT_EQ(form.datagrams[1][13], 0x00);
  EXPECT_EQ(form.datagrams[1][35], 0x0A);

  // A field that does not convert: the error is shown, nothing is sent or logged.
  ClearLog(form);
  form.edt3->clear();
  form.btn1->click();
  EXPECT_EQ(dialogs.errors, QStringList{"'' is not a valid integer value"});
  EXPECT_EQ(form.datagrams.size(), 2u);
  EXPECT_TRUE(LogText(form).isEmpty());
}

}  // namespace
}  // namespace veltra::test
