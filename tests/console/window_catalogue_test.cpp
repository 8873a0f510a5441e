// The window's controls: names, captions, ranges, items, defaults, hidden
// switches, accessibility, key filters and the spin-field rule.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QContextMenuEvent>
#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "console/form2.h"
#include "console/key_filters.h"
#include "console/local_ip.h"
#include "console/spin_edit.h"
#include "console_support.h"

namespace veltra::test {
namespace {

class WindowCatalogue : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};

  template <typename T>
  T* Find(const char* name) {
    T* found = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
};

TEST_F(WindowCatalogue, CaptionPagesAndHiddenSwitches) {
  form.show();
  EXPECT_EQ(form.windowTitle(), "Veltra --V01");
  auto* pages = Find<QTabWidget>("PageControl1");
  ASSERT_NE(pages, nullptr);
  QStringList tabs;
  for (int i = 0; i < pages->count(); ++i) tabs << ui::WithoutMnemonic(pages->tabText(i));
  EXPECT_EQ(tabs, (QStringList{"Module Settings", "Scene Control", "Light Control", "Curtain Control",
                               "IR Control", "Input Module Control"}));

  auto* monitor = Find<QCheckBox>("CheckBox13");
  auto* mask = Find<QCheckBox>("chk1");
  EXPECT_EQ(monitor->text(), "Monitor");
  EXPECT_FALSE(monitor->isChecked());
  EXPECT_FALSE(monitor->isVisible());
  EXPECT_EQ(mask->text(), QString::fromUtf8("公开版"));
  EXPECT_TRUE(mask->isChecked());
  EXPECT_FALSE(mask->isVisible());

  auto* com = Find<QRadioButton>("RadioButton2");
  auto* tcp = Find<QRadioButton>("RadioButton1");
  EXPECT_EQ(ui::WithoutMnemonic(com->text()), "Com ");
  EXPECT_EQ(ui::WithoutMnemonic(tcp->text()), "TCP/IP ");
  EXPECT_TRUE(com->isChecked());
  EXPECT_FALSE(tcp->isChecked());
  tcp->click();
  EXPECT_FALSE(com->isChecked());

  // The log sits under the tabs, across a splitter.
  auto* splitter = Find<QSplitter>("Splitter1");
  ASSERT_EQ(splitter->count(), 2);
  EXPECT_EQ(splitter->widget(0), pages);
  EXPECT_TRUE(splitter->widget(1)->isAncestorOf(Find<QPlainTextEdit>("Memo1")));

  TForm2 second;
  EXPECT_EQ(second.windowTitle(), "Form2");
  EXPECT_FALSE(second.isVisible());
}

TEST_F(WindowCatalogue, SpinFieldsHaveTheirRangesAndDefaults) {
  struct Row {
    const char* name;
    const char* label;  // accessible name, from the label beside it
    int minimum, maximum, value;
  };
  const Row rows[] = {
      {"SpinEdit7", "Subnet ID", 0, 65535, 1},       {"SpinEdit1", "Module Addr. :", 0, 33, 1},
      {"SpinEdit12", "Subnet ID :", 0, 65535, 1},    {"SpinEdit5", "Module Addr. :", 1, 32, 1},
      {"SpinEdit6", "Outputs :", 1, 8, 1},           {"SpinEdit4", "Scene No. :", 0, 50, 0},
      {"SpinEdit2", "Module Addr. :", 1, 32, 1},     {"SpinEdit3", "Output No. :", 1, 8, 1},
      {"SpinEdit11", "Turn-on  Time :", 0, 65001, 0}, {"SpinEdit9", "Module Addr. :", 1, 32, 1},
      {"SpinEdit10", "Output No. :", 1, 4, 1},       {"SpinEdit8", "Opening/Closing Time :", 0, 601, 200},
      {"SpinEdit14", "Module Addr. :", 1, 32, 1},    {"SpinEdit13", "IR No. :", 0, 249, 0},
      {"SpinEdit15", "Module Addr. :", 1, 32, 1},    {"SpinEdit17", "Input No. :", 1, 32, 1},
      {"SpinEdit18", "Module Addr. :", 1, 32, 1},    {"SpinEdit16", "Output No. :", 1, 8, 1},
      {"SpinEdit20", "Parameter :", 0, 255, 0},
  };
  for (const Row& row : rows) {
    auto* spin = Find<SpinEdit>(row.name);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->minimum(), row.minimum) << row.name;
    EXPECT_EQ(spin->maximum(), row.maximum) << row.name;
    EXPECT_EQ(spin->Value(), row.value) << row.name;
    EXPECT_EQ(spin->accessibleName(), row.label) << row.name;
  }
}

TEST_F(WindowCatalogue, ListsHaveTheirItemsAndDefaults) {
  struct Row {
    const char* name;
    QStringList items;
    QString current;
  };
  const QStringList channel{"OFF", "ON", "No Change"};
  const Row rows[] = {
      {"ComboBox5", {"COM1", "COM2", "COM3", "COM4", "COM5"}, "COM1"},
      {"ComboBox1", {"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "115200", "128000"}, "9600"},
      {"ComboBox2", {"5", "6", "7", "8"}, "8"},
      {"ComboBox3", {"Even", "Mark", "None", "Odd", "Space"}, "None"},
      {"ComboBox4", {"1", "1.5", "2"}, "1"},
      {"ComboBox6", channel, "No Change"},  {"ComboBox7", channel, "No Change"},
      {"ComboBox8", channel, "No Change"},  {"ComboBox9", channel, "No Change"},
      {"ComboBox10", channel, "No Change"}, {"ComboBox11", channel, "No Change"},
      {"ComboBox12", channel, "No Change"}, {"ComboBox13", channel, "No Change"},
      {"ComboBox15", {"Button", "Switch"}, "Button"},
      {"ComboBox16",
       {"Turn on Light", "Turn off Light", "Toggle Light", "Turn on All Lights", "Turn off All Lights",
        "Open Curtain", "Close Curtain", "Stop Curtain", "Open All Curtains", "Close All Curtains",
        "Stop All Curtains", "Scene"},
       "Turn on Light"},
  };
  for (const Row& row : rows) {
    auto* list = Find<QComboBox>(row.name);
    ASSERT_NE(list, nullptr);
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    // The serial port list may carry device paths around COM1..COM5, and
    // takes any path typed in.
    const bool ports = QString(row.name) == "ComboBox5";
    if (ports) items = items.mid(items.indexOf("COM1"), 5);
    EXPECT_EQ(items, row.items) << row.name;
    EXPECT_EQ(list->currentText(), row.current) << row.name;
    EXPECT_EQ(list->isEditable(), ports) << row.name;
  }
}

TEST_F(WindowCatalogue, ButtonsCheckBoxesAndTextFields) {
  const std::pair<const char*, const char*> buttons[] = {
      {"Button10", "Create"}, {"Button32", "Create"}, {"Button1", "Set"}, {"Button22", "Read"},
      {"Button23", "Test"}, {"Button12", "Read Module Type"}, {"Button29", "Read Software Version"},
      {"Button31", "Restore"}, {"btn1", "Set"}, {"btn2", "Read"}, {"Button9", "Read Module Type"},
      {"Button33", "Read Software Version"}, {"Button34", "Restore"}, {"Button7", "Set"}, {"Button8", "Test"},
      {"Button13", "Clear"}, {"Button2", "On"}, {"Button3", "Off"}, {"Button4", "On/Off"}, {"Button5", "All On"},
      {"Button6", "All Off"}, {"Button30", "Set"}, {"Button11", "Read"}, {"Button14", "Open"},
      {"Button15", "Close"}, {"Button16", "Stop"}, {"Button18", "All Open"}, {"Button20", "All Close"},
      {"Button17", "All Stop"}, {"Button21", "Set"}, {"Button19", "Read"}, {"Button24", "Enable Learning"},
      {"Button26", "Disable Learning"}, {"Button25", "Delete Single "}, {"Button27", "Delete All"},
      {"Button28", "Send IR Code"}, {"Button35", "Set"}, {"Button36", "Clear"},
  };
  for (auto [name, caption] : buttons) {
    auto* button = Find<QPushButton>(name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(ui::WithoutMnemonic(button->text()), caption) << name;
    EXPECT_EQ(button->accessibleName().isEmpty() ? QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name)
                                                 : button->accessibleName(),
              caption)
        << name << ": assistive tools read the caption without its mark";
  }
  const char* boxes[] = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox8",
                         "CheckBox5", "CheckBox6", "CheckBox7"};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Find<QCheckBox>(boxes[k])->text(), QString("Light%1").arg(k + 1));
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(Find<QCheckBox>(QString("CheckBox%1").arg(9 + k).toLatin1())->text(), QString("Curtain%1").arg(k + 1));

  struct Edit {
    const char* name;
    const char* text;
    int maxLength;
  };
  const Edit edits[] = {
      {"Edit6", "2002", 5}, {"Edit4", "192.168.14.3", 253}, {"Edit5", "2001", 5}, {"Edit11", "", 5},
      {"edt3", "", 5},      {"Edit9", "", 3},              {"edt5", "", 3},     {"Edit17", "", 3},
      {"Edit24", "", 3},    {"Edit28", "", 3},             {"Edit32", "", 3},   {"Edit7", "", 2},
      {"Edit36", "", 2},    {"Edit1", "", 32767},          {"Edit14", "", 32767},
  };
  for (const Edit& e : edits) {
    auto* edit = Find<QLineEdit>(e.name);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), e.text) << e.name;
    EXPECT_EQ(edit->maxLength(), e.maxLength) << e.name;
  }
  auto* localIp = Find<QLineEdit>("Edit3");
  EXPECT_TRUE(localIp->isReadOnly());
  // The test host name needs no lookup (the lookup has its own test).
  EXPECT_TRUE(QTest::qWaitFor([&] { return localIp->text() == "127.0.0.1"; }, 5000)) << localIp->text().toStdString();
}

TEST_F(WindowCatalogue, FieldsAreFoundByTabGroupAndLabel) {
  auto* pages = Find<QTabWidget>("PageControl1");
  QWidget* moduleTab = nullptr;
  for (int i = 0; i < pages->count(); ++i)
    if (ui::WithoutMnemonic(pages->tabText(i)) == "Module Settings") moduleTab = pages->widget(i);
  ASSERT_NE(moduleTab, nullptr);
  QGroupBox* group = nullptr;
  for (auto* g : moduleTab->findChildren<QGroupBox*>())
    if (g->title() == "Subnet Module Settings") group = g;
  ASSERT_NE(group, nullptr);
  QLabel* label = nullptr;
  for (auto* l : group->findChildren<QLabel*>())
    if (l->text() == "Module Addr. :") label = l;
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->buddy(), Spin(form, "SpinEdit1"));

  QAccessibleInterface* spin = QAccessible::queryAccessibleInterface(Spin(form, "SpinEdit1"));
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(spin->text(QAccessible::Name), "Module Addr. :");
  for (QLineEdit* result : {Edit(form, "Edit1"), Edit(form, "Edit2"), Edit(form, "Edit13"), Edit(form, "Edit14")})
    EXPECT_FALSE(result->accessibleName().isEmpty()) << result->objectName().toStdString();
  EXPECT_NE(Edit(form, "Edit1")->accessibleName(), Edit(form, "Edit13")->accessibleName());

  // Every button can be pressed by its caption: none is without one, and no
  // two beside each other share it (the two "Create" buttons sit in the
  // serial and the network row).
  std::map<QWidget*, QStringList> captions;
  for (auto* b : form.findChildren<QPushButton*>()) {
    EXPECT_FALSE(b->text().trimmed().isEmpty()) << b->objectName().toStdString();
    QStringList& beside = captions[b->parentWidget()];
    EXPECT_FALSE(beside.contains(b->text())) << b->text().toStdString();
    beside << b->text();
  }
  EXPECT_EQ(Button(form, "Button10")->parentWidget()->accessibleName(), "Serial");
  EXPECT_EQ(Button(form, "Button32")->parentWidget()->accessibleName(), "Network");
}

TEST_F(WindowCatalogue, OnlyTheGroupBoxCarriesItsTitle) {
  // A widget without a name of its own is read by its label, or else by the
  // title of the group it sits in: every such widget must have a name.
  int groups = 0;
  for (QGroupBox* group : form.findChildren<QGroupBox*>()) {
    if (group->title().isEmpty()) continue;
    ++groups;
    QAccessibleInterface* groupAccessible = QAccessible::queryAccessibleInterface(group);
    ASSERT_NE(groupAccessible, nullptr);
    EXPECT_EQ(groupAccessible->text(QAccessible::Name), group->title());
    for (QWidget* inside : group->findChildren<QWidget*>()) {
      if (!inside->accessibleName().isEmpty()) continue;  // named on purpose
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(inside);
      if (!accessible) continue;
      EXPECT_NE(accessible->text(QAccessible::Name), group->title())
          << group->title().toStdString() << ": " << inside->metaObject()->className() << " "
          << inside->objectName().toStdString();
    }
  }
  EXPECT_GE(groups, 10);
  // The rows of "Bus Switch Settings" are told apart by their labels.
  QAccessibleInterface* ipRow = QAccessible::queryAccessibleInterface(Edit(form, "Edit9")->parentWidget());
  EXPECT_EQ(ipRow->text(QAccessible::Name), "Bus Switch IP :");
  EXPECT_EQ(Edit(form, "Edit9")->accessibleName(), "Bus Switch IP : 1");
}

TEST_F(WindowCatalogue, KeyFiltersDropOtherCharacters) {
  struct Row {
    QLineEdit* edit;
    const char* typed;
    const char* kept;
  };
  const Row rows[] = {
      {Edit(form, "Edit4"), "1a2.3 -x_", "1a2.3-x"},      {Edit(form, "Edit5"), "20.0a1", "2001"},   {Edit(form, "Edit6"), "+2b002", "2002"},
      {Edit(form, "Edit11"), "8x0", "80"},            {Edit(form, "edt3"), "9-9", "99"},         {Edit(form, "Edit9"), "1.9g2", "192"},
      {Edit(form, "Edit32"), "2a5", "25"},            {Edit(form, "Edit7"), "0aG", "0a"},        {Edit(form, "Edit36"), "Fz", "F"},
      {Edit(form, "Edit8"), "b9", "b9"},
  };
  for (const Row& row : rows) {
    row.edit->clear();
    QTest::keyClicks(row.edit, row.typed);
    EXPECT_EQ(row.edit->text(), row.kept) << row.edit->objectName().toStdString();
  }
  // Backspace always works; the field's maximum length holds.
  Edit(form, "Edit5")->setText("2001");
  Edit(form, "Edit5")->end(false);
  QTest::keyClick(Edit(form, "Edit5"), Qt::Key_Backspace);
  EXPECT_EQ(Edit(form, "Edit5")->text(), "200");
  // So does Delete, also in the form some keyboards give it, with 0x7F as text.
  Edit(form, "Edit5")->home(false);
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
  QApplication::sendEvent(Edit(form, "Edit5"), &del);
  EXPECT_EQ(Edit(form, "Edit5")->text(), "00");
  Edit(form, "Edit9")->clear();
  QTest::keyClicks(Edit(form, "Edit9"), "12345");
  EXPECT_EQ(Edit(form, "Edit9")->text(), "123");
  // The program's own writes are not filtered.
  QApplication::clipboard()->setText("77");
  Edit(form, "Edit6")->setText("1");
  Edit(form, "Edit6")->end(false);
  Edit(form, "Edit6")->paste();
  EXPECT_EQ(Edit(form, "Edit6")->text(), "177");
  Edit(form, "Edit6")->insert("x");
  EXPECT_EQ(Edit(form, "Edit6")->text(), "177x");
}

TEST_F(WindowCatalogue, KeyFiltersLetShortcutsNavigationAndEditingKeysThrough) {
  QLineEdit* port = Edit(form, "Edit6");
  // Select all, then typing replaces.
  port->setText("2002");
  QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(port->selectedText(), "2002");
  QTest::keyClicks(port, "5");
  EXPECT_EQ(port->text(), "5");
  // Undo, copy and cut.
  QTest::keyClick(port, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(port->text(), "2002");
  port->selectAll();
  QTest::keyClick(port, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "2002");
  port->setSelection(0, 2);
  QTest::keyClick(port, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(port->text(), "02");
  EXPECT_EQ(QApplication::clipboard()->text(), "20");
  // Navigation: Home, then a digit goes in front.
  QTest::keyClick(port, Qt::Key_Home);
  QTest::keyClicks(port, "9");
  EXPECT_EQ(port->text(), "902");
  QTest::keyClick(port, Qt::Key_End);
  QTest::keyClick(port, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(port->selectedText(), "2");
  // Ctrl with a character that the field refuses is still no typing.
  QTest::keyClick(port, Qt::Key_Period, Qt::ControlModifier);
  EXPECT_EQ(port->text(), "902");
}

TEST_F(WindowCatalogue, PasteKeepsOnlyTheCharactersTheFieldTakes) {
  QApplication::clipboard()->setText(" 7a7.x ");
  Edit(form, "Edit6")->setText("1");
  Edit(form, "Edit6")->end(false);
  QTest::keyClick(Edit(form, "Edit6"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit(form, "Edit6")->text(), "177");
  QTest::keyClick(Edit(form, "Edit6"), Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(Edit(form, "Edit6")->text(), "17777");  // at most 5 characters
  Edit(form, "Edit4")->clear();
  QTest::keyClick(Edit(form, "Edit4"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit(form, "Edit4")->text(), "7a7.x");  // a host name may be pasted
  QApplication::clipboard()->setText("fG-1");
  Edit(form, "Edit7")->clear();
  QTest::keyClick(Edit(form, "Edit7"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit(form, "Edit7")->text(), "f1");

  // The context menu's Paste too, replacing the selection.
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QApplication::clipboard()->setText("4x2");
  Edit(form, "Edit9")->setText("255");
  Edit(form, "Edit9")->selectAll();
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), Edit(form, "Edit9")->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(Edit(form, "Edit9"), &menuEvent);
  QMenu* menu = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 2000));
  QAction* paste = nullptr;
  for (QAction* action : menu->actions())
    if (action->text().startsWith("&Paste")) paste = action;
  ASSERT_NE(paste, nullptr);
  paste->trigger();
  menu->close();
  EXPECT_EQ(Edit(form, "Edit9")->text(), "42");
}

TEST_F(WindowCatalogue, SpinFieldClampsWhenTheFocusLeaves) {
  SpinEdit* spin = Spin(form, "SpinEdit1");
  spin->Editor()->selectAll();
  QTest::keyClicks(spin, "9a9");
  EXPECT_EQ(spin->Editor()->text(), "99");  // typeable, letter refused
  EXPECT_EQ(spin->Value(), 33);               // read through the clamp
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(spin, &leave);
  EXPECT_EQ(spin->Editor()->text(), "33");

  // Empty or non-integer text reads as the minimum.
  Spin(form, "SpinEdit5")->Editor()->clear();
  EXPECT_EQ(Spin(form, "SpinEdit5")->Value(), 1);
  Spin(form, "SpinEdit4")->Editor()->setText("-");
  EXPECT_EQ(Spin(form, "SpinEdit4")->Value(), 0);
  Spin(form, "SpinEdit11")->Editor()->setText("1.5");
  EXPECT_EQ(Spin(form, "SpinEdit11")->Value(), 0);
  Spin(form, "SpinEdit9")->Editor()->setText("-7");
  EXPECT_EQ(Spin(form, "SpinEdit9")->Value(), 1);
  QApplication::sendEvent(Spin(form, "SpinEdit9"), &leave);
  EXPECT_EQ(Spin(form, "SpinEdit9")->Editor()->text(), "1");

  // Program writes clamp too; arrows step by one.
  Spin(form, "SpinEdit3")->SetValue(40);
  EXPECT_EQ(Spin(form, "SpinEdit3")->Value(), 8);
  Spin(form, "SpinEdit3")->SetValue(3);
  Spin(form, "SpinEdit3")->stepUp();
  EXPECT_EQ(Spin(form, "SpinEdit3")->Value(), 4);
}

TEST(LocalIp, FollowsTheHostNameRule) {
  EXPECT_EQ(LocalIpWithoutLookup(std::nullopt), "0.0.0.0");
  EXPECT_EQ(LocalIpWithoutLookup(std::string()), "0.0.0.0");
  EXPECT_EQ(LocalIpWithoutLookup(std::string("10.20.30.40")), "10.20.30.40");
  EXPECT_EQ(LocalIpWithoutLookup(std::string("1host")), "");
  EXPECT_EQ(LocalIpWithoutLookup(std::string("10.20.30")), "");
  EXPECT_EQ(LocalIpWithoutLookup(std::string("localhost")), std::nullopt);  // for the name service
}

// The name service is asked in the background: the window is there before
// it answers, and the field fills in afterwards.
TEST(LocalIp, NameIsResolvedAfterTheWindowIsUp) {
  FakeDialogs dialogs;
  MainWindowOptions named = TestOptions(dialogs);
  named.hostName = [] { return std::optional<std::string>("localhost"); };
  MainWindow form(named);
  EXPECT_TRUE(Edit(form, "Edit3")->text().isEmpty()) << Edit(form, "Edit3")->text().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit3")->text() == "127.0.0.1"; }, 5000))
      << Edit(form, "Edit3")->text().toStdString();

  // A name that does not resolve leaves the field empty. (This one is
  // refused before any query goes out.)
  MainWindowOptions options = TestOptions(dialogs);
  options.hostName = [] { return std::optional<std::string>("no such host"); };
  MainWindow unresolved(options);
  Edit(unresolved, "Edit3")->setText("stale");
  QTest::qWait(200);
  EXPECT_TRUE(Edit(unresolved, "Edit3")->text().isEmpty()) << Edit(unresolved, "Edit3")->text().toStdString();

  // A window closed before the answer comes is left alone by it.
  auto gone = std::make_unique<MainWindow>(named);
  gone.reset();
  QTest::qWait(200);

  // Names that need no lookup are shown at once.
  options.hostName = [] { return std::optional<std::string>("10.1.2.3"); };
  EXPECT_EQ(Edit(MainWindow(options), "Edit3")->text(), "10.1.2.3");
  options.hostName = [] { return std::nullopt; };
  EXPECT_EQ(Edit(MainWindow(options), "Edit3")->text(), "0.0.0.0");
}

}  // namespace
}  // namespace veltra::test
