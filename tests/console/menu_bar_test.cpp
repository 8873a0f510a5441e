// The menu bar: its items reachable by keyboard and by name, the log shown
// with frame bytes and timestamps, cleared, and saved whole or not at all.
#include <gtest/gtest.h>

#include <QAccessible>
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
  CapturingForm form{TestOptions(dialogs)};
  // Unanswered requests end at once, so that the next may go.
  void SetUp() override {
    form.serialLink->ReceiveTimeout = 1;
    form.IdUDPClient1.ReceiveTimeout = 1;
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
  EXPECT_EQ(bar[0]->menu(), form.FileMenu);
  EXPECT_EQ(bar[1]->menu(), form.ViewMenu);
  EXPECT_EQ(bar[2]->menu(), form.ToolsMenu);
  EXPECT_EQ(bar[3]->menu(), form.HelpMenu);
  for (QAction* menu : bar) EXPECT_TRUE(menu->text().startsWith('&')) << menu->text().toStdString();

  const QString saveLog = QString::fromUtf8("Save Log\u2026");
  const QString saveCapture = QString::fromUtf8("Save Capture\u2026");
  EXPECT_EQ(AccessibleItems(form.FileMenu), (QStringList{saveLog, saveCapture, QString(), "Quit"}));
  EXPECT_EQ(AccessibleItems(form.ViewMenu), (QStringList{"Show Frame Bytes", "Timestamps", QString(), "Clear Log"}));
  EXPECT_EQ(AccessibleItems(form.ToolsMenu), QStringList{QString::fromUtf8("Scan Bus\u2026")});
  EXPECT_EQ(AccessibleItems(form.HelpMenu), QStringList{"About Veltra"});
  for (QAction* item : {form.SaveLog, form.SaveCapture, form.Quit, form.ShowFrameBytes, form.Timestamps, form.ClearLog,
                        form.ScanBus, form.AboutVeltra})
    EXPECT_TRUE(item->text().contains('&')) << item->text().toStdString();  // a mnemonic

  EXPECT_EQ(form.SaveLog->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  EXPECT_EQ(form.Quit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
  EXPECT_TRUE(form.ShowFrameBytes->isCheckable());
  EXPECT_FALSE(form.ShowFrameBytes->isChecked());
  EXPECT_TRUE(form.Timestamps->isCheckable());
  EXPECT_FALSE(form.Timestamps->isChecked());
  EXPECT_TRUE(form.chk1->isChecked());  // the mask stays on at start
}

TEST_F(MenuBar, AnotherSaveItemGoesBetweenSaveLogAndQuit) {
  int runs = 0;
  QAction* capture = form.AddFileSaveAction(QStringLiteral("Save &Other"), "SaveOther", {}, [&] { ++runs; });
  const QList<QAction*> items = form.FileMenu->actions();
  ASSERT_EQ(items.size(), 5);
  EXPECT_EQ(items[0], form.SaveLog);
  EXPECT_EQ(items[1], form.SaveCapture);
  EXPECT_EQ(items[2], capture);
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4], form.Quit);
  capture->trigger();
  EXPECT_EQ(runs, 1);
}

TEST_F(MenuBar, FrameBytesAndTimestampsApplyToNewLinesOnly) {
  form.SpinEdit1->SetValue(3);
  ASSERT_TRUE(ClickAndWait(form, form.Button22));
  form.ShowFrameBytes->setChecked(true);
  EXPECT_FALSE(form.chk1->isChecked());
  ASSERT_TRUE(ClickAndWait(form, form.Button22));
  form.Timestamps->setChecked(true);
  ASSERT_TRUE(ClickAndWait(form, form.Button22));
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
  form.ShowFrameBytes->setChecked(false);
  form.Timestamps->setChecked(false);
  ASSERT_TRUE(ClickAndWait(form, form.Button22));
  EXPECT_TRUE(form.chk1->isChecked());
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
  form.RadioButton1->setChecked(true);
  form.SpinEdit7->SetValue(258);  // the subnet the reply names
  form.reply = AsString(WithChecksum(FromHex("55 AA 0C 01 02 03 80 05 01 03")));
  form.Button22->click();
  form.Timestamps->setChecked(true);
  form.Button22->click();
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 4);
  EXPECT_EQ(log[1], kRead + "X  OK!");
  const QRegularExpression read(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ") +
                                QRegularExpression::escape(kRead + "X  OK!") +
                                QStringLiteral(" \\((\\d+(\\.\\d)?) ms\\)$"));
  EXPECT_TRUE(read.match(log[3]).hasMatch()) << log[3].toStdString();
}

TEST_F(MenuBar, ClearLogEmptiesTheLogAndTellsWhoListens) {
  QSignalSpy cleared(&form, &TForm1::logCleared);
  // Answered at once, so that no event loop runs between the clicks.
  form.serialReply = AsString(WithChecksum(FromHex("55 AA 0A 05 80 05 01 03")));
  form.Button22->click();
  form.FlushLog();
  form.Button22->click();  // its lines still wait for the event loop
  form.ClearLog->trigger();
  EXPECT_EQ(cleared.count(), 1);
  EXPECT_TRUE(LogText(form).isEmpty());
  form.Button22->click();
  EXPECT_EQ(Log(), (QStringList{kSend + "X", kRead + "X  OK!"}));
}

TEST_F(MenuBar, SaveLogWritesTheLogAsUtf8Lines) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("site log.txt"));
  form.ShowFrameBytes->setChecked(true);
  form.RadioButton1->setChecked(true);
  form.SpinEdit7->SetValue(258);  // the subnet the reply names
  form.reply = AsString(WithChecksum(FromHex("55 AA 0C 01 02 03 80 05 01 03")));
  form.Button22->click();
  form.Button22->click();

  dialogs.saveAnswer.clear();  // cancelled: nothing written
  form.SaveLog->trigger();
  EXPECT_EQ(dialogs.saveQuestions.size(), 1);
  EXPECT_TRUE(dialogs.saveQuestions[0].startsWith(QStringLiteral("Save Log\n"))) << dialogs.saveQuestions[0].toStdString();
  EXPECT_TRUE(dialogs.saveQuestions[0].endsWith(QStringLiteral(".txt"))) << dialogs.saveQuestions[0].toStdString();

  dialogs.saveAnswer = path;
  form.SaveLog->trigger();
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  EXPECT_EQ(bytes, (LogText(form) + '\n').toUtf8());
  EXPECT_EQ(bytes.count('\n'), 4);
  EXPECT_TRUE(bytes.startsWith("Send \xEF\xBC\x9A" "55 AA 0A 01 02 "));
  EXPECT_TRUE(dialogs.messages.mid(1).isEmpty()) << dialogs.messages.join('|').toStdString();  // after the start-up message
  // The next dialog starts in the folder saved to.
  form.SaveLog->trigger();
  EXPECT_TRUE(dialogs.saveQuestions.last().startsWith("Save Log\n" + folder.path() + '/'));
}

TEST_F(MenuBar, SaveLogFailureIsShownAndLeavesNothingBehind) {
  QTemporaryDir folder;
  // A folder of that name: the finished file cannot take its place.
  const QString path = folder.filePath(QStringLiteral("taken"));
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("taken")));
  form.Button22->click();
  dialogs.messages.clear();
  dialogs.saveAnswer = path;
  form.SaveLog->trigger();
  ASSERT_EQ(dialogs.messages, QStringList{"The log could not be saved."});
  ASSERT_EQ(dialogs.details.size(), 1);
  EXPECT_TRUE(dialogs.details[0].startsWith(path + ": ")) << dialogs.details[0].toStdString();
  EXPECT_TRUE(QFileInfo(path).isDir());
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"taken"});

  dialogs.saveAnswer = folder.filePath(QStringLiteral("missing/log.txt"));
  form.SaveLog->trigger();
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
  form.Button22->click();
  dialogs.saveAnswer = path;
  form.SaveLog->trigger();
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), (kSend + "X\n").toUtf8());
  const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                      QFileDevice::WriteOther;
  EXPECT_FALSE(QFile::permissions(path) & others);
}

TEST_F(MenuBar, QuitClosesTheWindowAndItsLinks) {
  form.show();
  form.Quit->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.IdUDPClient1.Active());
}

}  // namespace
}  // namespace veltra::test
