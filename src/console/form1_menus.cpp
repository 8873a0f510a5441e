// The window's menu bar: one function per menu, called in the order the menus
// stand in the bar, and the handlers of the File and View items.
#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "console/app_identity.h"
#include "console/dialogs.h"
#include "console/form1.h"
#include "console/replace_file.h"
#include "scenes/scene_table_model.h"

namespace veltra {
namespace {

QMenu* AddMenu(QMenuBar* bar, const QString& title, const char* objectName) {
  QMenu* menu = bar->addMenu(title);
  menu->setObjectName(objectName);
  menu->setAccessibleName(QString(title).remove('&'));
  return menu;
}

QAction* MakeCheckable(QMenu* menu, const QString& text, const char* objectName) {
  QAction* action = menu->addAction(text);
  action->setObjectName(objectName);
  action->setCheckable(true);
  action->setChecked(false);
  return action;
}

}  // namespace

void TForm1::BuildMenus() {
  BuildFileMenu();
  BuildViewMenu();
  BuildHelpMenu();
}

void TForm1::BuildFileMenu() {
  FileMenu = AddMenu(menuBar(), QStringLiteral("&File"), "FileMenu");
  fileSaveEnd_ = FileMenu->addSeparator();
  Quit = FileMenu->addAction(QStringLiteral("&Quit"));
  Quit->setObjectName("Quit");
  Quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  Quit->setMenuRole(QAction::QuitRole);
  connect(Quit, &QAction::triggered, this, &QWidget::close);
  SaveLog = AddFileSaveAction(QString::fromUtf8("&Save Log\u2026"), "SaveLog", QKeySequence(Qt::CTRL | Qt::Key_S),
                              [this] { SaveLogClick(); });
  SaveCapture = AddFileSaveAction(QString::fromUtf8("Save &Capture\u2026"), "SaveCapture", QKeySequence(),
                                  [this] { SaveCaptureClick(); });
}

QAction* TForm1::AddFileSaveAction(const QString& text, const char* objectName, const QKeySequence& shortcut,
                                   std::function<void()> handler) {
  auto* action = new QAction(text, FileMenu);
  action->setObjectName(objectName);
  action->setShortcut(shortcut);
  FileMenu->insertAction(fileSaveEnd_, action);
  connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] { RunGuarded(handler); });
  return action;
}

void TForm1::BuildViewMenu() {
  ViewMenu = AddMenu(menuBar(), QStringLiteral("&View"), "ViewMenu");
  ShowFrameBytes = MakeCheckable(ViewMenu, QStringLiteral("Show &Frame Bytes"), "ShowFrameBytes");
  // The hidden mask stays what the log follows; the item only drives it, and
  // follows it back should anything else change it.
  connect(ShowFrameBytes, &QAction::toggled, chk1, [this](bool shown) { chk1->setChecked(!shown); });
  connect(chk1, &QCheckBox::toggled, ShowFrameBytes, [this](bool masked) { ShowFrameBytes->setChecked(!masked); });
  Timestamps = MakeCheckable(ViewMenu, QStringLiteral("&Timestamps"), "Timestamps");
  ViewMenu->addSeparator();
  ClearLog = ViewMenu->addAction(QStringLiteral("&Clear Log"));
  ClearLog->setObjectName("ClearLog");
  connect(ClearLog, &QAction::triggered, this, [this] { RunGuarded([this] { ClearLogClick(); }); });
}

void TForm1::BuildHelpMenu() {
  HelpMenu = AddMenu(menuBar(), QStringLiteral("&Help"), "HelpMenu");
  AboutVeltra = HelpMenu->addAction(QStringLiteral("&About Veltra"));
  AboutVeltra->setObjectName("AboutVeltra");
  AboutVeltra->setMenuRole(QAction::AboutRole);
  connect(AboutVeltra, &QAction::triggered, this, [this] { RunGuarded([this] { AboutVeltraClick(); }); });
}

// ---------------------------------------------------------------- handlers

QString TForm1::LogContents() {
  FlushLog();
  QString text = Memo1->toPlainText();
  if (!text.isEmpty()) text += '\n';
  return text;
}

QString TForm1::AskSavePath(const QString& caption, const QString& nameTemplate, const QString& filter) {
  const QString folder = saveFolder_.isEmpty() ? QDir::homePath() : saveFolder_;
  const QString name = nameTemplate.arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
  return dialogs_->SaveFileName(caption, QDir(folder).filePath(name), filter);
}

void TForm1::SaveLogClick() {
  const QString path = AskSavePath(QStringLiteral("Save Log"), QStringLiteral("veltra-log-%1.txt"),
                                   QStringLiteral("Text files (*.txt);;All files (*)"));
  if (path.isEmpty()) return;
  const QByteArray contents = LogContents().toUtf8();
  if (const auto failure = ReplaceFile(QFile::encodeName(path).toStdString(), contents.toStdString())) {
    dialogs_->Warning(QStringLiteral("The log could not be saved."), QString::fromLocal8Bit(failure->c_str()));
    return;
  }
  saveFolder_ = QFileInfo(path).absolutePath();
}

void TForm1::ClearLogClick() {
  pendingLog_.clear();
  Memo1->clear();
  emit logCleared();
}

void TForm1::AboutVeltraClick() {
  dialogs_->About(QStringLiteral("About Veltra"),
                  AboutText(ADOTable1->FilePath(), ADOTable1->IsOpen()));
}

}  // namespace veltra
