// Answers written into the window by the request they answer: the log line,
// the address, type and version fields, the status boxes of the tab that
// asked, and the bus switch configuration record.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QTest>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <functional>

#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console_support.h"

namespace veltra::test {
namespace {

class ReplyApplication : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  CapturingWindow form{TestOptions(dialogs)};

  // `button` sends its request on the serial line, answered by `reply`.
  void Serial(QPushButton* button, const std::vector<std::uint8_t>& reply) {
    Radio(form, "RadioButton2")->setChecked(true);
    form.serialReply = AsString(reply);
    ASSERT_TRUE(ClickAndWait(form, button)) << button->objectName().toStdString();
  }
  // The same as a datagram, with "TCP/IP " selected.
  void Datagram(QPushButton* button, const std::vector<std::uint8_t>& reply) {
    Radio(form, "RadioButton1")->setChecked(true);
    form.reply = AsString(reply);
    ASSERT_TRUE(ClickAndWait(form, button)) << button->objectName().toStdString();
  }
  QStringList Log() { return LogText(form).split('\n', Qt::SkipEmptyParts); }
  QStringList ReadLines() { return Log().filter(QString::fromUtf8("Read \xEF\xBC\x9A")); }
  std::vector<bool> Lights() const { return States(LightBoxes(form)); }
  std::vector<bool> Curtains() const { return States(CurtainBoxes(form)); }
};

TEST_F(ReplyApplication, ModuleAddressIsLoggedAndClamped) {
  Check(form, "chk1")->setChecked(false);
  Spin(form, "SpinEdit1")->SetValue(1);
  Serial(Button(form, "Button22"), FromHex("55 AA 0A 05 80 05 01 03 54 3D"));
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 3);
  EXPECT_EQ(Log(), (QStringList{QString::fromUtf8("Send \xEF\xBC\x9A") + "55 AA 08 FF 00 05 57 A1 ",
                                QString::fromUtf8("Read \xEF\xBC\x9A") + "55 AA 0A 05 80 05 01 03 54 3D   OK!"}));

  Check(form, "chk1")->setChecked(true);
  Datagram(Button(form, "Button22"), WithChecksum(FromHex("55 AA 0C 00 01 05 80 05 01 09")));  // routed, subnet 1, P0 = 9
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 9);
  EXPECT_EQ(Log().last(), QString::fromUtf8("Read \xEF\xBC\x9AX  OK!"));

  Serial(Button(form, "Button22"), WithChecksum(FromHex("55 AA 0A 05 80 05 01 28")));  // 40 is out of 0..33
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 33);
  EXPECT_EQ(Spin(form, "SpinEdit1")->Editor()->text(), "33");

  // Sent to every subnet, answered by one with address FE: an ordinary
  // address reply.
  Spin(form, "SpinEdit7")->SetValue(0xFFFF);
  Datagram(Button(form, "Button22"), WithChecksum(FromHex("55 AA 0C FF FF FE 80 05 01 07")));
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 7);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(ReplyApplication, RejectedAndFailedRepliesChangeNothing) {
  form.Controller().Serial().ReceiveTimeout = 50;
  form.Controller().Network().Client().ReceiveTimeout = 50;
  Spin(form, "SpinEdit1")->SetValue(4);
  Serial(Button(form, "Button22"), FromHex("55 AA 0A 05 80 05 01 03 54 3E"));  // checksum
  EXPECT_TRUE(form.ExchangeText().endsWith(": not a valid frame, dropped")) << form.ExchangeText().toStdString();
  Serial(Button(form, "Button22"), FromHex("55 AB 0A 05 80 05 01 03 54 3D"));        // header
  Datagram(Button(form, "Button22"), std::vector<std::uint8_t>(201, 0x55));         // over 200 bytes
  EXPECT_TRUE(ReadLines().isEmpty()) << Log().join('\n').toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 4);
  Serial(Button(form, "Button22"), WithChecksum(FromHex("55 AA 0A 05 80 05 05 03")));  // status 5
  EXPECT_EQ(ReadLines(), QStringList{QString::fromUtf8("Read \xEF\xBC\x9AX  Parameter error!")});
  EXPECT_TRUE(form.ExchangeText().endsWith(" ms: Parameter error!")) << form.ExchangeText().toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 4);
  Serial(Button(form, "Button22"), WithChecksum(FromHex("55 AA 0A 05 80 05 09 03")));  // status outside 1..7
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 4);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(ReplyApplication, ModuleTypeAndVersionGoBesideTheirButtons) {
  Spin(form, "SpinEdit1")->SetValue(5);
  Serial(Button(form, "Button12"), WithChecksum(FromHex("55 AA 0B 05 80 06 01 01 2A")));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
  // The bus switch's own "Read Module Type": its fields; Edit1 stays.
  Datagram(Button(form, "Button9"), WithChecksum(FromHex("55 AA 0D 00 01 FF 80 06 01 BE EF")));
  EXPECT_EQ(Edit(form, "Edit13")->text(), "BEEF");
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
  // On the serial line too, where the bus switch answers in the routed form.
  Serial(Button(form, "Button9"), WithChecksum(FromHex("55 AA 0D 00 01 FF 80 06 01 00 07")));
  EXPECT_EQ(Edit(form, "Edit13")->text(), "0007");
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");

  Serial(Button(form, "Button29"), WithChecksum(FromHex("55 AA 0D 05 80 07 01 56 31 2E 30")));  // "V1.0"
  EXPECT_EQ(Edit(form, "Edit2")->text(), "V1.0");
  Datagram(Button(form, "Button33"), WithChecksum(FromHex("55 AA 0F 00 01 FF 80 07 01 56 32 00 39")));  // "V2", zero, "9"
  EXPECT_EQ(Edit(form, "Edit14")->text(), "V2");
  EXPECT_EQ(Edit(form, "Edit2")->text(), "V1.0");
  Spin(form, "SpinEdit1")->SetValue(3);
  Datagram(Button(form, "Button29"), WithChecksum(FromHex("55 AA 0E 00 01 03 80 07 01 42 33 34")));
  EXPECT_EQ(Edit(form, "Edit2")->text(), "B34");
  EXPECT_EQ(Edit(form, "Edit14")->text(), "V2");
}

TEST_F(ReplyApplication, StatusBytesGoToTheTabThatAsked) {
  const auto eight = WithChecksum(FromHex("55 AA 12 05 80 08 01 01 00 00 00 00 01 00 00 00"));
  Spin(form, "SpinEdit2")->SetValue(5);
  Spin(form, "SpinEdit9")->SetValue(5);
  Pages(form)->setCurrentWidget(Sheet(form, "TabSheet3"));
  Serial(Button(form, "Button11"), eight);
  EXPECT_EQ(Lights(), (std::vector<bool>{false, false, false, false, true, false, false, false}));
  EXPECT_TRUE(form.findChild<QCheckBox*>("CheckBox8")->isChecked());  // "Light5"
  EXPECT_EQ(Curtains(), (std::vector<bool>{false, false, false, false}));

  // Bit 0 alone counts; bytes past the fourth are not the curtains'.
  Pages(form)->setCurrentWidget(Sheet(form, "TabSheet4"));
  Datagram(Button(form, "Button19"), WithChecksum(FromHex("55 AA 12 00 01 05 80 08 01 01 03 FE 01 81 01 01")));
  EXPECT_EQ(Curtains(), (std::vector<bool>{true, false, true, true}));
  EXPECT_EQ(Lights(), (std::vector<bool>{false, false, false, false, true, false, false, false}));

  // Whichever tab shows: the light "Read" sets the light boxes.
  Pages(form)->setCurrentWidget(Sheet(form, "TabSheet4"));
  Serial(Button(form, "Button11"), WithChecksum(FromHex("55 AA 12 05 80 08 01 01 01 01 01 01 01 01 01 01")));
  EXPECT_EQ(Lights(), std::vector<bool>(8, true));
  EXPECT_EQ(Curtains(), (std::vector<bool>{true, false, true, true}));

  // Three bytes: only the first three boxes change.
  Pages(form)->setCurrentWidget(Sheet(form, "TabSheet3"));
  Serial(Button(form, "Button11"), WithChecksum(FromHex("55 AA 0D 05 80 08 01 01 00 01 00")));
  EXPECT_EQ(Lights(), (std::vector<bool>{false, true, false, true, true, true, true, true}));

  // P0 other than 1 shows nothing.
  Serial(Button(form, "Button11"), WithChecksum(FromHex("55 AA 0D 05 80 08 01 02 01 01 01")));
  EXPECT_EQ(Lights(), (std::vector<bool>{false, true, false, true, true, true, true, true}));
}

TEST_F(ReplyApplication, StatusBoxesShowTheReplyAndNotTheOperator) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  Pages(form)->setCurrentWidget(Sheet(form, "TabSheet3"));
  Spin(form, "SpinEdit2")->SetValue(5);
  Serial(Button(form, "Button11"), WithChecksum(FromHex("55 AA 0D 05 80 08 01 01 00 01 00")));
  const std::vector<bool> reported{false, true, false, false, false, false, false, false};
  ASSERT_EQ(Lights(), reported);

  std::vector<QCheckBox*> boxes = LightBoxes(form);
  const std::vector<QCheckBox*> curtains = CurtainBoxes(form);
  boxes.insert(boxes.end(), curtains.begin(), curtains.end());
  for (QCheckBox* box : boxes) {
    Pages(form)->setCurrentWidget(box->text().startsWith("Light") ? Sheet(form, "TabSheet3") : Sheet(form, "TabSheet4"));
    ASSERT_TRUE(box->isVisible());
    const bool before = box->isChecked();
    const std::string name = box->text().toStdString();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(accessible, nullptr) << name;
    // Each way of toggling on its own: two of them would cancel out.
    const std::pair<const char*, std::function<void()>> attempts[] = {
        {"mouse", [&] { QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center()); }},
        {"space", [&] { box->setFocus(); QTest::keyClick(box, Qt::Key_Space); }},
        {"click", [&] { box->click(); }},
        // What a screen reader or another assistive tool can do with it.
        {"accessible actions", [&] {
           if (QAccessibleActionInterface* actions = accessible->actionInterface())
             for (const QString& action : actions->actionNames()) actions->doAction(action);
         }},
    };
    for (const auto& [way, attempt] : attempts) {
      box->setChecked(before);
      attempt();
      EXPECT_EQ(box->isChecked(), before) << name << " by " << way;
    }
    EXPECT_TRUE(box->isEnabled()) << name;
    EXPECT_EQ(accessible->role(), QAccessible::CheckBox) << name;
    EXPECT_EQ(accessible->text(QAccessible::Name), box->text()) << name;
    EXPECT_EQ(bool(accessible->state().checked), before) << name;
  }
  EXPECT_EQ(Lights(), reported);
  EXPECT_EQ(Curtains(), (std::vector<bool>{false, false, false, false}));
  // The program still writes them.
  CurtainBoxes(form)[1]->setChecked(true);
  EXPECT_TRUE(CurtainBoxes(form)[1]->isChecked());
  EXPECT_TRUE(QAccessible::queryAccessibleInterface(CurtainBoxes(form)[1])->state().checked);
}

TEST_F(ReplyApplication, BusSwitchConfigurationFillsTheGroup) {
  // "Read" points the window's own socket at the broadcast host and back:
  // on loopback here, from a port the system picks.
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit6")->setText("0");
  Datagram(Button(form, "btn2"), WithChecksum(FromHex("55 AA 27 FF FF FF 80 05 01 01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 "
                                         "C0 A8 0E 14 07 D2 00 1A 2B 3C 4D 5E")));
  EXPECT_EQ(Spin(form, "SpinEdit12")->Value(), 258);
  const std::pair<QLineEdit*, const char*> expected[] = {
      {Edit(form, "Edit9"), "192"},  {Edit(form, "edt5"), "168"},   {Edit(form, "Edit15"), "14"},  {Edit(form, "Edit17"), "3"},  {Edit(form, "Edit11"), "2001"},
      {Edit(form, "Edit21"), "255"}, {Edit(form, "Edit22"), "255"}, {Edit(form, "Edit23"), "255"}, {Edit(form, "Edit24"), "0"},  {Edit(form, "Edit25"), "192"},
      {Edit(form, "Edit26"), "168"}, {Edit(form, "Edit27"), "14"},  {Edit(form, "Edit28"), "1"},   {Edit(form, "Edit29"), "192"}, {Edit(form, "Edit30"), "168"},
      {Edit(form, "Edit31"), "14"},  {Edit(form, "Edit32"), "20"},  {Edit(form, "edt3"), "2002"},  {Edit(form, "Edit7"), "00"},  {Edit(form, "Edit8"), "1A"},
      {Edit(form, "Edit33"), "2B"},  {Edit(form, "Edit34"), "3C"},  {Edit(form, "Edit35"), "4D"},  {Edit(form, "Edit36"), "5E"},
  };
  for (auto [edit, text] : expected) EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 1);  // not an address reply

  // A short reply with a valid checksum fills every field from the fixed
  // offsets: its checksum lands in the subnet and the first octet, the rest
  // lies past the datagram and reads as zeros.
  const auto shortReply = WithChecksum(FromHex("55 AA 0C FF FF FF 80 05 01 00"));
  Datagram(Button(form, "btn2"), shortReply);
  EXPECT_EQ(Spin(form, "SpinEdit12")->Value(), shortReply[9] * 256 + shortReply[10]);
  EXPECT_EQ(Edit(form, "Edit9")->text(), QString::number(shortReply[11]));
  for (auto [edit, text] : expected) {
    if (edit == Edit(form, "Edit9")) continue;
    const bool mac = edit == Edit(form, "Edit7") || edit == Edit(form, "Edit8") || edit == Edit(form, "Edit33") || edit == Edit(form, "Edit34") ||
                     edit == Edit(form, "Edit35") || edit == Edit(form, "Edit36");
    EXPECT_EQ(edit->text(), mac ? "00" : "0") << edit->objectName().toStdString();
  }
  // Only the routed decoder knows the configuration reply: the module's
  // address read in the direct form is an address.
  Serial(Button(form, "Button22"), WithChecksum(FromHex("55 AA 0A FF 80 05 01 06")));
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 6);
  EXPECT_EQ(Spin(form, "SpinEdit12")->Value(), shortReply[9] * 256 + shortReply[10]);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(ReplyApplication, MonitorModeSendsAndDecodesRoutedFramesOnTheSerialLine) {
  Check(form, "CheckBox13")->setChecked(true);
  Serial(Button(form, "Button22"), FromHex("55 AA 0C 00 01 05 80 05 01 03 54 30"));
  EXPECT_EQ(form.serial.back()[2], 0x0A);  // the routed request
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 3);
  // Something past a frame's 200 bytes is no reply.
  form.Controller().Serial().ReceiveTimeout = 50;
  std::vector<std::uint8_t> tooLong = WithChecksum(FromHex("55 AA 0C 00 01 05 80 05 01 05"));
  tooLong.resize(201, 0);
  Serial(Button(form, "Button22"), tooLong);
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 3);
  EXPECT_EQ(ReadLines().size(), 1);
}

}  // namespace
}  // namespace veltra::test
