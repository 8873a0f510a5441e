// The menu bar: its items reachable by keyboard and by name, the log shown
// with frame bytes and timestamps, cleared, and saved whole or not at all.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QStatusBar>
#include <QTest>
#include <QAction>
#include <QDateTime>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "../support/bytes.h"
#include "console/log_stamp.h"
#include "console/spin_edit.h"
#include "console_support.h"

namespace veltra::test {
namespace {

const QString kSend = QString::fromUtf8("Send \uFF1A");
const QString kRead = QString::fromUtf8("Read \uFF1A");

class MenuBar : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  CapturingWindow form{TestOptions(dialogs)};
  // Unanswered requests end at once, so that the next may go.
  void SetUp() override {
    form.Controller().Serial().ReceiveTimeout = 1;
    form.Controller().Network().Client().ReceiveTimeout = 1;
  }
  QStringList Log() { return LogText(form).split('\n', Qt::SkipEmptyParts); }
};

// Names of a menu's items as the accessibility tree gives them.
QStringList AccessibleItems(QMenu* menu) {
  QStringList names;
  QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(menu);
  if (!tree) return names;
  for (int i = 0; i < tree->childCount(); ++i) names << tree->child(i)->text(QAccessible::Name);
  return names;
}

TEST_F(MenuBar, MenusItemsShortcutsAndAccessibleNames) {
  const QList<QAction*> bar = form.menuBar()->actions();
  ASSERT_EQ(bar.size(), 4);
  EXPECT_EQ(bar[0]->menu(), Menu(form, "FileMenu"));
  EXPECT_EQ(bar[1]->menu(), Menu(form, "ViewMenu"));
  EXPECT_EQ(bar[2]->menu(), Menu(form, "ToolsMenu"));
  EXPECT_EQ(bar[3]->menu(), Menu(form, "HelpMenu"));
  for (QAction* menu : bar) EXPECT_TRUE(menu->text().startsWith('&')) << menu->text().toStdString();

  const QString saveLog = QString::fromUtf8("Save Log\u2026");
  const QString saveCapture = QString::fromUtf8("Save Capture\u2026");
  const QString openPlan = QString::fromUtf8("Open Site Plan\u2026");
  EXPECT_EQ(AccessibleItems(Menu(form, "FileMenu")),
            (QStringList{openPlan, QString(), saveLog, saveCapture, QString(), "Quit"}));
  EXPECT_EQ(AccessibleItems(Menu(form, "ViewMenu")), (QStringList{"Show Frame Bytes", "Timestamps", QString(), "Clear Log",
                                                                  QString(), "Bus Monitor", "Line Health"}));
  EXPECT_EQ(AccessibleItems(Menu(form, "ToolsMenu")),
            (QStringList{QString::fromUtf8("Scan Bus\u2026"), QString::fromUtf8("Site Plan\u2026")}));
  EXPECT_EQ(AccessibleItems(Menu(form, "HelpMenu")), QStringList{"About Veltra"});
  for (QAction* item : {Action(form, "SaveLog"), Action(form, "SaveCapture"), Action(form, "Quit"),
                        Action(form, "ShowFrameBytes"), Action(form, "Timestamps"), Action(form, "ClearLog"),
                        Action(form, "ScanBus"), Action(form, "SitePlan"), Action(form, "AboutVeltra"),
                        Action(form, "OpenSitePlan"), Action(form, "ShowBusMonitor"), Action(form, "ShowLineHealth")})
    EXPECT_TRUE(item->text().contains('&')) << item->text().toStdString();  // a mnemonic

  EXPECT_EQ(Action(form, "SaveLog")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  EXPECT_EQ(Action(form, "Quit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
  EXPECT_TRUE(Action(form, "ShowFrameBytes")->isCheckable());
  EXPECT_FALSE(Action(form, "ShowFrameBytes")->isChecked());
  EXPECT_TRUE(Action(form, "Timestamps")->isCheckable());
  EXPECT_FALSE(Action(form, "Timestamps")->isChecked());
  EXPECT_TRUE(Check(form, "chk1")->isChecked());  // the mask stays on at start
}

TEST_F(MenuBar, AnotherSaveItemGoesBetweenSaveLogAndQuit) {
  int runs = 0;
  QAction* capture = form.AddFileSaveAction(QStringLiteral("Save &Other"), "SaveOther", {}, [&] { ++runs; });
  const QList<QAction*> items = Menu(form, "FileMenu")->actions();
  ASSERT_EQ(items.size(), 7);
  EXPECT_EQ(items[0], Action(form, "OpenSitePlan"));
  EXPECT_TRUE(items[1]->isSeparator()) << "below Open Site Plan…";
  EXPECT_EQ(items[2], Action(form, "SaveLog"));
  EXPECT_EQ(items[3], Action(form, "SaveCapture"));
  EXPECT_EQ(items[4], capture);
  EXPECT_TRUE(items[5]->isSeparator());
  EXPECT_EQ(items[6], Action(form, "Quit"));
  capture->trigger();
  EXPECT_EQ(runs, 1);
}

TEST_F(MenuBar, FrameBytesAndTimestampsApplyToNewLinesOnly) {
  Spin(form, "SpinEdit1")->SetValue(3);
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button22")));
  Action(form, "ShowFrameBytes")->setChecked(true);
  EXPECT_FALSE(Check(form, "chk1")->isChecked());
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button22")));
  Action(form, "Timestamps")->setChecked(true);
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button22")));
  ASSERT_EQ(form.serial.size(), 3u);
  const QString hex = QString::fromStdString(Hex(form.serial[1])) + ' ';
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 3);
  EXPECT_EQ(log[0], kSend + "X");
  EXPECT_EQ(log[1], kSend + hex);
  const QRegularExpression stamped(QStringLiteral("^([0-2]\\d):([0-5]\\d):([0-5]\\d)\\.(\\d{3}) (.*)$"));
  const auto match = stamped.match(log[2]);
  ASSERT_TRUE(match.hasMatch()) << log[2].toStdString();
  EXPECT_EQ(match.captured(5), kSend + hex);

  // Unchecked again: the mask is back, the lines already there stay.
  Action(form, "ShowFrameBytes")->setChecked(false);
  Action(form, "Timestamps")->setChecked(false);
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button22")));
  EXPECT_TRUE(Check(form, "chk1")->isChecked());
  EXPECT_EQ(Log().mid(0, 3), log);
  EXPECT_EQ(Log().last(), kSend + "X");
}

TEST(LogStamp, LocalTimeAcrossMinutesAndBackwards) {
  LogStamp stamp;
  using namespace std::chrono;
  const auto base = LogStamp::Clock::time_point(milliseconds(1'765'000'000'000LL));  // a minute boundary + 40 s
  for (const milliseconds offset : {milliseconds(0), milliseconds(19'999), milliseconds(20'000),
                                    milliseconds(79'999), milliseconds(3'600'123), milliseconds(-41'000)}) {
    const auto at = base + offset;
    const QString expected = QDateTime::fromMSecsSinceEpoch(duration_cast<milliseconds>(at.time_since_epoch()).count())
                                 .toString(QStringLiteral("HH:mm:ss.zzz "));
    EXPECT_EQ(stamp.At(at), expected) << offset.count();
  }
}

TEST_F(MenuBar, ReplyLineCarriesTheRoundTripWithTimestampsOnly) {
  Radio(form, "RadioButton1")->setChecked(true);
  Spin(form, "SpinEdit7")->SetValue(258);  // the subnet the reply names
  form.reply = AsString(WithChecksum(FromHex("55 AA 0C 01 02 03 80 05 01 03")));
  Button(form, "Button22")->click();
  Action(form, "Timestamps")->setChecked(true);
  Button(form, "Button22")->click();
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 4);
  EXPECT_EQ(log[1], kRead + "X  OK!");
  const QRegularExpression read(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ") +
                                QRegularExpression::escape(kRead + "X  OK!") +
                                QStringLiteral(" \\((\\d+(\\.\\d)?) ms\\)$"));
  EXPECT_TRUE(read.match(log[3]).hasMatch()) << log[3].toStdString();
}

TEST_F(MenuBar, ClearLogEmptiesTheLogAndTellsWhoListens) {
  QSignalSpy cleared(&form, &MainWindow::logCleared);
  // Answered at once, so that no event loop runs between the clicks.
  form.serialReply = AsString(WithChecksum(FromHex("55 AA 0A 05 80 05 01 03")));
  Button(form, "Button22")->click();
  form.FlushLog();
  Button(form, "Button22")->click();  // its lines still wait for the event loop
  Action(form, "ClearLog")->trigger();
  EXPECT_EQ(cleared.count(), 1);
  EXPECT_TRUE(LogText(form).isEmpty());
  Button(form, "Button22")->click();
  EXPECT_EQ(Log(), (QStringList{kSend + "X", kRead + "X  OK!"}));
}

TEST_F(MenuBar, SaveLogWritesTheLogAsUtf8Lines) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("site log.txt"));
  Action(form, "ShowFrameBytes")->setChecked(true);
  Radio(form, "RadioButton1")->setChecked(true);
  Spin(form, "SpinEdit7")->SetValue(258);  // the subnet the reply names
  form.reply = AsString(WithChecksum(FromHex("55 AA 0C 01 02 03 80 05 01 03")));
  Button(form, "Button22")->click();
  Button(form, "Button22")->click();

  dialogs.saveAnswer.clear();  // cancelled: nothing written
  Action(form, "SaveLog")->trigger();
  EXPECT_EQ(dialogs.saveQuestions.size(), 1);
  EXPECT_TRUE(dialogs.saveQuestions[0].startsWith(QStringLiteral("Save Log\n"))) << dialogs.saveQuestions[0].toStdString();
  EXPECT_TRUE(dialogs.saveQuestions[0].endsWith(QStringLiteral(".txt"))) << dialogs.saveQuestions[0].toStdString();

  dialogs.saveAnswer = path;
  Action(form, "SaveLog")->trigger();
  // The status bar says where the log went.
  EXPECT_EQ(Control<QStatusBar>(form, "StatusBar1")->currentMessage(), "Log saved to " + path);
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  EXPECT_EQ(bytes, (LogText(form) + '\n').toUtf8());
  EXPECT_EQ(bytes.count('\n'), 4);
  EXPECT_TRUE(bytes.startsWith("Send \xEF\xBC\x9A" "55 AA 0A 01 02 "));
  EXPECT_TRUE(dialogs.messages.mid(1).isEmpty()) << dialogs.messages.join('|').toStdString();  // after the start-up message
  // The next dialog starts in the folder saved to.
  Action(form, "SaveLog")->trigger();
  EXPECT_TRUE(dialogs.saveQuestions.last().startsWith("Save Log\n" + folder.path() + '/'));
}

TEST_F(MenuBar, SaveLogFailureIsShownAndLeavesNothingBehind) {
  QTemporaryDir folder;
  // A folder of that name: the finished file cannot take its place.
  const QString path = folder.filePath(QStringLiteral("taken"));
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("taken")));
  Button(form, "Button22")->click();
  dialogs.messages.clear();
  dialogs.saveAnswer = path;
  Action(form, "SaveLog")->trigger();
  ASSERT_EQ(dialogs.messages, QStringList{"The log could not be saved."});
  ASSERT_EQ(dialogs.details.size(), 1);
  EXPECT_TRUE(dialogs.details[0].startsWith(path + ": ")) << dialogs.details[0].toStdString();
  EXPECT_TRUE(QFileInfo(path).isDir());
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"taken"});

  dialogs.saveAnswer = folder.filePath(QStringLiteral("missing/log.txt"));
  Action(form, "SaveLog")->trigger();
  ASSERT_EQ(dialogs.details.size(), 2);
  EXPECT_TRUE(dialogs.details[1].contains(QStringLiteral("No such file or directory"))) << dialogs.details[1].toStdString();
}

TEST_F(MenuBar, SaveReplacesAnExistingFileAndKeepsItsPermissions) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("log.txt"));
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older, much longer log that must not shine through\n");
  }
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  Button(form, "Button22")->click();
  dialogs.saveAnswer = path;
  Action(form, "SaveLog")->trigger();
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), (kSend + "X\n").toUtf8());
  const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                      QFileDevice::WriteOther;
  EXPECT_FALSE(QFile::permissions(path) & others);
}

TEST_F(MenuBar, QuitClosesTheWindowAndItsLinks) {
  form.show();
  Action(form, "Quit")->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.Controller().Network().Client().Active());
}

// The monitor log is read, selected and copied, never typed into: Tab and
// Shift+Tab move on, and "Save Log…" saves only what crossed the links.
TEST_F(MenuBar, TheMonitorLogIsReadOnlyAndTheKeyboardMovesOn) {
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  ASSERT_TRUE(ClickAndWait(form, Button(form, "Button22")));
  const QString traffic = LogText(form);
  QPlainTextEdit* log = Memo(form);
  log->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), log);
  QTest::keyClicks(log, "typed by hand");
  QTest::keyClick(log, Qt::Key_Return);
  EXPECT_EQ(LogText(form), traffic);
  // Selectable: the keyboard selects all of it, for copying.
  QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(log->textCursor().selectedText(), traffic);

  QTest::keyClick(log, Qt::Key_Tab);
  QWidget* next = QApplication::focusWidget();
  EXPECT_NE(next, log) << "Tab stays in the log";
  EXPECT_EQ(LogText(form), traffic) << "Tab went into the log";
  QTest::keyClick(next, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), log);
  QTest::keyClick(log, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_NE(QApplication::focusWidget(), log);

  QTemporaryDir folder;
  dialogs.saveAnswer = folder.filePath("log.txt");
  Action(form, "SaveLog")->trigger();
  QFile saved(dialogs.saveAnswer);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), (traffic + '\n').toUtf8());
}

}  // namespace
}  // namespace veltra::test
