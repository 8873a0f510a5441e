// Decoded replies written into the window: the log line, the address, type
// and version fields, the status boxes by active tab, and the bus switch
// configuration record.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QTest>
#include <QLineEdit>
#include <QPlainTextEdit>
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
  TForm1 form{TestOptions(dialogs)};

  void Serial(const std::vector<std::uint8_t>& chunk) {
    form.Comm1ReceiveData(chunk.data(), static_cast<std::uint16_t>(chunk.size()));
  }
  void Datagram(const std::vector<std::uint8_t>& frame) { form.ReceiveDeal(AsString(frame)); }
  QStringList Log() { return LogText(form).split('\n', Qt::SkipEmptyParts); }
  std::vector<bool> Lights() const {
    std::vector<bool> states;
    for (auto* box : form.lightBoxes) states.push_back(box->isChecked());
    return states;
  }
  std::vector<bool> Curtains() const {
    std::vector<bool> states;
    for (auto* box : form.curtainBoxes) states.push_back(box->isChecked());
    return states;
  }
};

TEST_F(ReplyApplication, ModuleAddressIsLoggedAndClamped) {
  form.chk1->setChecked(false);
  form.SpinEdit1->SetValue(1);
  Serial(Bytes("55 AA 0A 05 80 05 01 03 54 3D"));
  EXPECT_EQ(form.SpinEdit1->Value(), 3);
  EXPECT_EQ(Log(), QStringList{QString::fromUtf8("Read \xEF\xBC\x9A") + "55 AA 0A 05 80 05 01 03 54 3D   OK!"});

  form.chk1->setChecked(true);
  Datagram(WithChecksum(Bytes("55 AA 0C 00 01 05 80 05 01 09")));  // routed, subnet 1, P0 = 9
  EXPECT_EQ(form.SpinEdit1->Value(), 9);
  EXPECT_EQ(Log().last(), QString::fromUtf8("Read \xEF\xBC\x9AX  OK!"));

  Serial(WithChecksum(Bytes("55 AA 0A 05 80 05 01 28")));  // 40 is out of 0..33
  EXPECT_EQ(form.SpinEdit1->Value(), 33);
  EXPECT_EQ(form.SpinEdit1->Editor()->text(), "33");

  // Subnet FFFF with address FE is an ordinary address reply.
  Datagram(WithChecksum(Bytes("55 AA 0C FF FF FE 80 05 01 07")));
  EXPECT_EQ(form.SpinEdit1->Value(), 7);
}

TEST_F(ReplyApplication, RejectedAndFailedRepliesChangeNothing) {
  form.SpinEdit1->SetValue(4);
  Serial(Bytes("55 AA 0A 05 80 05 01 03 54 3E"));        // checksum
  Serial(Bytes("55 AB 0A 05 80 05 01 03 54 3D"));        // header
  Datagram(std::vector<std::uint8_t>(201, 0x55));         // over 200 bytes
  EXPECT_TRUE(LogText(form).isEmpty());
  Serial(WithChecksum(Bytes("55 AA 0A 05 80 05 05 03")));  // status 5
  EXPECT_EQ(Log(), QStringList{QString::fromUtf8("Read \xEF\xBC\x9AX  Parameter error!")});
  EXPECT_EQ(form.SpinEdit1->Value(), 4);
  Serial(WithChecksum(Bytes("55 AA 0A 05 80 05 09 03")));  // status outside 1..7
  EXPECT_EQ(form.SpinEdit1->Value(), 4);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(ReplyApplication, ModuleTypeAndVersionGoBesideTheirButtons) {
  Serial(WithChecksum(Bytes("55 AA 0B 05 80 06 01 01 2A")));
  EXPECT_EQ(form.Edit1->text(), "012A");
  // Routed from address 255: the bus switch's fields; Edit1 stays.
  Datagram(WithChecksum(Bytes("55 AA 0D 00 01 FF 80 06 01 BE EF")));
  EXPECT_EQ(form.Edit13->text(), "BEEF");
  EXPECT_EQ(form.Edit1->text(), "012A");
  // Direct from address 255 still writes the module's field.
  Serial(WithChecksum(Bytes("55 AA 0B FF 80 06 01 00 07")));
  EXPECT_EQ(form.Edit1->text(), "0007");
  EXPECT_EQ(form.Edit13->text(), "BEEF");

  Serial(WithChecksum(Bytes("55 AA 0D 05 80 07 01 56 31 2E 30")));  // "V1.0"
  EXPECT_EQ(form.Edit2->text(), "V1.0");
  Datagram(WithChecksum(Bytes("55 AA 0F 00 01 FF 80 07 01 56 32 00 39")));  // "V2", zero, "9"
  EXPECT_EQ(form.Edit14->text(), "V2");
  EXPECT_EQ(form.Edit2->text(), "V1.0");
  Datagram(WithChecksum(Bytes("55 AA 0E 00 01 03 80 07 01 42 33 34")));
  EXPECT_EQ(form.Edit2->text(), "B34");
}

TEST_F(ReplyApplication, StatusBytesGoToTheActiveTab) {
  const auto eight = WithChecksum(Bytes("55 AA 12 05 80 08 01 01 00 00 00 00 01 00 00 00"));
  form.PageControl1->setCurrentWidget(form.TabSheet3);
  Serial(eight);
  EXPECT_EQ(Lights(), (std::vector<bool>{false, false, false, false, true, false, false, false}));
  EXPECT_TRUE(form.findChild<QCheckBox*>("CheckBox8")->isChecked());  // "Light5"
  EXPECT_EQ(Curtains(), (std::vector<bool>{false, false, false, false}));

  // Bit 0 alone counts; bytes past the eighth are ignored.
  form.PageControl1->setCurrentWidget(form.TabSheet4);
  Datagram(WithChecksum(Bytes("55 AA 12 00 01 05 80 08 01 01 03 FE 01 81 01 01")));
  EXPECT_EQ(Curtains(), (std::vector<bool>{true, false, true, true}));

  // Another tab: nothing changes.
  form.PageControl1->setCurrentWidget(form.TabSheet2);
  Serial(WithChecksum(Bytes("55 AA 12 05 80 08 01 01 01 01 01 01 01 01 01 01")));
  EXPECT_EQ(Lights(), (std::vector<bool>{false, false, false, false, true, false, false, false}));
  EXPECT_EQ(Curtains(), (std::vector<bool>{true, false, true, true}));

  // Three bytes: only the first three boxes change.
  form.PageControl1->setCurrentWidget(form.TabSheet3);
  for (auto* box : form.lightBoxes) box->setChecked(true);
  Serial(WithChecksum(Bytes("55 AA 0D 05 80 08 01 01 00 01 00")));
  EXPECT_EQ(Lights(), (std::vector<bool>{false, true, false, true, true, true, true, true}));

  // P0 other than 1 shows nothing.
  Serial(WithChecksum(Bytes("55 AA 0D 05 80 08 01 02 01 01 01")));
  EXPECT_EQ(Lights(), (std::vector<bool>{false, true, false, true, true, true, true, true}));
}

TEST_F(ReplyApplication, StatusBoxesShowTheReplyAndNotTheOperator) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.PageControl1->setCurrentWidget(form.TabSheet3);
  Serial(WithChecksum(Bytes("55 AA 0D 05 80 08 01 01 00 01 00")));
  const std::vector<bool> reported{false, true, false, false, false, false, false, false};
  ASSERT_EQ(Lights(), reported);

  std::vector<QCheckBox*> boxes(form.lightBoxes.begin(), form.lightBoxes.end());
  boxes.insert(boxes.end(), form.curtainBoxes.begin(), form.curtainBoxes.end());
  for (QCheckBox* box : boxes) {
    form.PageControl1->setCurrentWidget(box->text().startsWith("Light") ? form.TabSheet3 : form.TabSheet4);
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
  form.curtainBoxes[1]->setChecked(true);
  EXPECT_TRUE(form.curtainBoxes[1]->isChecked());
  EXPECT_TRUE(QAccessible::queryAccessibleInterface(form.curtainBoxes[1])->state().checked);
}

TEST_F(ReplyApplication, BusSwitchConfigurationFillsTheGroup) {
  Datagram(WithChecksum(Bytes("55 AA 27 FF FF FF 80 05 01 01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 "
                              "C0 A8 0E 14 07 D2 00 1A 2B 3C 4D 5E")));
  EXPECT_EQ(form.SpinEdit12->Value(), 258);
  const std::pair<QLineEdit*, const char*> expected[] = {
      {form.Edit9, "192"},  {form.edt5, "168"},   {form.Edit15, "14"},  {form.Edit17, "3"},  {form.Edit11, "2001"},
      {form.Edit21, "255"}, {form.Edit22, "255"}, {form.Edit23, "255"}, {form.Edit24, "0"},  {form.Edit25, "192"},
      {form.Edit26, "168"}, {form.Edit27, "14"},  {form.Edit28, "1"},   {form.Edit29, "192"}, {form.Edit30, "168"},
      {form.Edit31, "14"},  {form.Edit32, "20"},  {form.edt3, "2002"},  {form.Edit7, "00"},  {form.Edit8, "1A"},
      {form.Edit33, "2B"},  {form.Edit34, "3C"},  {form.Edit35, "4D"},  {form.Edit36, "5E"},
  };
  for (auto [edit, text] : expected) EXPECT_EQ(edit->text(), text) << edit->objectName().toStdString();
  EXPECT_EQ(form.SpinEdit1->Value(), 1);  // not an address reply

  // A short reply with a valid checksum fills every field from the fixed
  // offsets: its checksum lands in the subnet and the first octet, the rest
  // lies past the datagram and reads as zeros.
  const auto shortReply = WithChecksum(Bytes("55 AA 0C FF FF FF 80 05 01 00"));
  Datagram(shortReply);
  EXPECT_EQ(form.SpinEdit12->Value(), shortReply[9] * 256 + shortReply[10]);
  EXPECT_EQ(form.Edit9->text(), QString::number(shortReply[11]));
  for (auto [edit, text] : expected) {
    if (edit == form.Edit9) continue;
    const bool mac = edit == form.Edit7 || edit == form.Edit8 || edit == form.Edit33 || edit == form.Edit34 ||
                     edit == form.Edit35 || edit == form.Edit36;
    EXPECT_EQ(edit->text(), mac ? "00" : "0") << edit->objectName().toStdString();
  }
  // Only the routed decoder knows the configuration reply.
  Serial(WithChecksum(Bytes("55 AA 0A FF 80 05 01 06")));
  EXPECT_EQ(form.SpinEdit1->Value(), 6);
  EXPECT_EQ(form.SpinEdit12->Value(), shortReply[9] * 256 + shortReply[10]);
}

TEST_F(ReplyApplication, MonitorModeDecodesSerialChunksAsRouted) {
  form.CheckBox13->setChecked(true);
  Serial(Bytes("55 AA 0C 00 01 05 80 05 01 03 54 30"));
  EXPECT_EQ(form.SpinEdit1->Value(), 3);
  std::vector<std::uint8_t> tooLong = Bytes("55 AA 0C 00 01 05 80 05 01 05 54 32");
  tooLong.resize(201, 0);
  Serial(tooLong);
  EXPECT_EQ(form.SpinEdit1->Value(), 3);
  EXPECT_EQ(Log().size(), 1);
}

}  // namespace
}  // namespace veltra::test
