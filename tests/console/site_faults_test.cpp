// Faults a real site produces, met by the whole window: a serial device that
// stops reading, a bus switch that is not there (its port answers with ICMP
// "port unreachable"), the scene database taken away or swapped while the
// console runs, and a disk that fills up while the log is saved.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include "../serial/pty_fixture.h"
#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "scenes/scene_store_schema.h"
#include "serial/comm.h"

namespace veltra::test {
namespace {

const std::vector<std::uint8_t> kReadTypeDirect = WithChecksum(FromHex("55 AA 08 01 00 06"));

// Milliseconds one call on the main thread takes.
template <typename Action>
qint64 TimeOf(Action action) {
  QElapsedTimer timer;
  timer.start();
  action();
  return timer.elapsed();
}

TEST(SiteFaults, SerialDeviceThatStopsReadingNeitherBlocksTheWindowNorItsClose) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  FakeDialogs dialogs;
  MainWindow form(TestOptions(dialogs));
  dialogs.messages.clear();  // the missing scene database at start-up
  Ports(form)->addItem(QString::fromStdString(pty.path()));
  Ports(form)->setCurrentText(QString::fromStdString(pty.path()));
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");

  // The far side never reads: the line's output queue fills up and the
  // writer waits for room that never comes. Far more than any kernel
  // buffers for a pseudo-terminal goes out, so the writer is left holding
  // most of it.
  const std::vector<std::uint8_t> block(60000, 0x5A);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(form.Controller().Serial().Transmit(block), TransmitStatus::Sent);
  ASSERT_FALSE(form.Controller().Serial().Flush(300)) << "the line took everything";
  ASSERT_FALSE(form.Controller().Serial().HungUp());

  // Requests still go at once: they are queued behind the rest, and each
  // waits for its reply in the event loop (cut short here), not in the click.
  Spin(form, "SpinEdit1")->SetValue(1);
  form.Controller().Serial().ReceiveTimeout = 1;
  for (int i = 0; i < 20; ++i) {
    EXPECT_LT(TimeOf([&] { Button(form, "Button12")->click(); }), 200);
    ASSERT_TRUE(WaitUntilIdle(form));
    EXPECT_EQ(form.ExchangeText(), "No reply within 1 ms");
  }
  EXPECT_EQ(LogText(form).split('\n', Qt::SkipEmptyParts).size(), 20);

  EXPECT_LT(TimeOf([&] { Button(form, "Button10")->click(); }), 1000);
  EXPECT_EQ(Caption(form, "Button10"), "Create");
  EXPECT_FALSE(form.Controller().Serial().Port().IsOpen());
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();

  // The line is usable again once the far side reads: nothing of the old
  // queue is sent after the new request.
  while (!pty.Receive(65536, std::chrono::milliseconds(50)).empty()) {
  }
  Button(form, "Button10")->click();
  ASSERT_EQ(Caption(form, "Button10"), "Close");
  Button(form, "Button12")->click();
  EXPECT_EQ(Hex(pty.Receive(kReadTypeDirect.size())), Hex(kReadTypeDirect));
  EXPECT_TRUE(pty.Receive(1, std::chrono::milliseconds(100)).empty());
}

TEST(SiteFaults, BusSwitchPortUnreachableEndsTheRequestAndTheNextOneWorks) {
  FakeDialogs dialogs;
  MainWindow form(TestOptions(dialogs));
  dialogs.messages.clear();  // the missing scene database at start-up
  Check(form, "chk1")->setChecked(false);
  const int port = FreeUdpPort();  // nothing listens: loopback answers with ICMP
  Edit(form, "Edit4")->setText("127.0.0.1");
  Edit(form, "Edit5")->setText(QString::number(port));
  Edit(form, "Edit6")->setText(QString::number(FreeUdpPort()));
  Radio(form, "RadioButton1")->setChecked(true);
  Button(form, "Button32")->click();
  ASSERT_EQ(Caption(form, "Button32"), "Close");

  Spin(form, "SpinEdit1")->SetValue(1);
  for (int i = 0; i < 3; ++i) {
    // Each request waits its 500 ms at most, or fails at once, while the
    // window goes on.
    EXPECT_LT(TimeOf([&] { Button(form, "Button12")->click(); }), 200);
    EXPECT_LT(TimeOf([&] { ASSERT_TRUE(WaitUntilIdle(form)); }), 1500);
  }
  EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty());
  EXPECT_FALSE(LogText(form).contains("Read"));
  EXPECT_EQ(Caption(form, "Button32"), "Close");

  // The bus switch comes up on that port: the next request is answered.
  LoopbackSocket busSwitch(port);
  ASSERT_EQ(busSwitch.port(), port);
  std::thread answer([&] {
    sockaddr_in from{};
    if (!busSwitch.Receive(3000, &from).empty())
      busSwitch.SendTo(from, WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 01 2A")));
  });
  dialogs.errors.clear();
  Button(form, "Button12")->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit1")->text() == "012A"; }, 3000));
  answer.join();
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

// Files of this process may not grow past `bytes` while it lives (a full
// disk); a write beyond fails with EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = SIG_DFL;
  bool ok_ = false;
};

TEST(SiteFaults, DiskFullWhileSavingTheLogKeepsWhatWasThereAndSaysWhy) {
  FakeDialogs dialogs;
  CapturingWindow form{TestOptions(dialogs)};
  Action(form, "ShowFrameBytes")->setChecked(true);
  form.serialReply = AsString(WithChecksum(FromHex("55 AA 0A 05 80 05 01 03")));  // answered at once
  for (int i = 0; i < 100; ++i) Button(form, "Button22")->click();  // some 10 kB of log
  QTemporaryDir folder;
  const QString kept = folder.filePath(QStringLiteral("kept.txt"));
  const QString fresh = folder.filePath(QStringLiteral("fresh.txt"));
  {
    QFile old(kept);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("yesterday's log\n");
  }
  dialogs.messages.clear();
  {
    FileSizeLimit full(4096);
    ASSERT_TRUE(full.ok());
    dialogs.saveAnswer = kept;
    Action(form, "SaveLog")->trigger();
    dialogs.saveAnswer = fresh;
    Action(form, "SaveLog")->trigger();
  }
  ASSERT_EQ(dialogs.messages, QStringList(2, "The log could not be saved."));
  ASSERT_EQ(dialogs.details.size(), 2);
  EXPECT_TRUE(dialogs.details[0].startsWith(kept + ": ")) << dialogs.details[0].toStdString();
  EXPECT_TRUE(dialogs.details[1].contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
      << dialogs.details[1].toStdString();
  // The file that was there is as it was; no part of the log is left under
  // either name or in a temporary file.
  QFile old(kept);
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("yesterday's log\n"));
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"kept.txt"});

  // With room again the same save goes through.
  dialogs.saveAnswer = fresh;
  Action(form, "SaveLog")->trigger();
  EXPECT_EQ(QFileInfo(fresh).size(), (LogText(form) + '\n').toUtf8().size());
}

class SceneDatabaseFault : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  QString path;
  FakeDialogs dialogs;
  std::unique_ptr<CapturingWindow> form;

  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    path = folder.filePath("Veltra.mdb");
    ASSERT_EQ(MakeSceneDatabase(path), CreateResult::Created);
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    form = std::make_unique<CapturingWindow>(options);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
    SceneConfirmed(3);
    ASSERT_EQ(Grid(*form)->model()->rowCount(), 1);
  }
  // `button` for module 3, confirmed at once on the serial line; a failure
  // of the table shows as the reader's event would.
  void Confirmed(QPushButton* button, std::uint8_t command) {
    Spin(*form, "SpinEdit5")->SetValue(3);
    form->serialReply = AsString(WithChecksum({0x55, 0xAA, 0x09, 0x03, 0x80, command, 0x01}));
    button->click();
  }
  // Module 3 confirms scene `scene`.
  void SceneConfirmed(int scene) {
    Spin(*form, "SpinEdit4")->SetValue(scene);
    Confirmed(Button(*form, "Button7"), 0x02);
  }
  QStringList Entries() const { return QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }
  // Every way the window writes the table: a confirmed scene, a cleared
  // module, "Delete" and "Delete All" of the grid's menu.
  void ExpectEveryWriteRefused() {
    dialogs.errors.clear();
    SceneConfirmed(4);
    Confirmed(Button(*form, "Button13"), 0x03);
    Action(*form, "Delete1")->trigger();
    dialogs.answers = {true};  // "Delete all 1 scene records?"
    Action(*form, "DeleteAll1")->trigger();
    ASSERT_EQ(dialogs.errors.size(), 4) << dialogs.errors.join(';').toStdString();
    for (const QString& error : dialogs.errors) EXPECT_TRUE(error.contains("deleted or replaced")) << error.toStdString();
    EXPECT_EQ(Grid(*form)->model()->rowCount(), 1);
    // The replies were still logged.
    EXPECT_EQ(LogText(*form).count("Read"), 3);
  }
};

TEST_F(SceneDatabaseFault, DeletedWhileRunning) {
  ASSERT_TRUE(QFile::remove(path));
  ExpectEveryWriteRefused();
  EXPECT_TRUE(Entries().isEmpty()) << Entries().join(';').toStdString();
}

TEST_F(SceneDatabaseFault, ReplacedWhileRunning) {
  const QString other = folder.filePath("other.mdb");
  ASSERT_EQ(MakeSceneDatabase(other), CreateResult::Created);
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(other, path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray replacement = file.readAll();
  file.close();
  ExpectEveryWriteRefused();
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), replacement);
  EXPECT_EQ(Entries(), QStringList{"Veltra.mdb"});
}

}  // namespace
}  // namespace veltra::test
