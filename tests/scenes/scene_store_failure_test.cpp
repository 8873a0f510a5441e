// What the scene table does when the database is missing, refuses writes, or
// the program dies in the middle of a write.
#include <QAbstractItemModel>
#include <QFileInfo>
#include <chrono>
#include <csignal>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "scene_store_test_support.h"

namespace veltra::test {
namespace {

// Runs `action` and returns the SceneStoreError text it raised.
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const SceneStoreError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no SceneStoreError";
  return {};
}

class SceneStoreFailureTest : public SceneDbTest {
 protected:
  void Seed() {
    ASSERT_TRUE(store_.OpenSceneTable(folder_));
    store_.SaveSceneRecord(1, 4, AllCodes(QStringLiteral("1")));
    store_.SaveSceneRecord(2, 5, AllCodes(QStringLiteral("0")));
  }
  // Every write the window can ask for fails with `text` and changes nothing.
  void ExpectEveryWriteRefused(const std::string& text) {
    const QByteArray before = FileBytes(path_);
    EXPECT_NE(ErrorOf([&] { store_.SaveSceneRecord(1, 4, AllCodes(QStringLiteral("X"))); }).find(text),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { store_.SaveSceneRecord(9, 9, AllCodes(QStringLiteral("X"))); }).find(text),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { store_.DeleteModuleScenes(4); }).find(text), std::string::npos);
    EXPECT_NE(ErrorOf([&] { (void)store_.DeleteCurrentScene(); }).find(text), std::string::npos);
    EXPECT_EQ(FileBytes(path_), before);
    EXPECT_EQ(store_.rowCount(), 2);
    EXPECT_EQ(store_.CurrentRow(), 1);
  }
  SceneRepository repository_;
  SceneTableModel store_{repository_};
};

TEST_F(SceneStoreFailureTest, MissingFileLeavesTheTableClosedAndCreatesNothing) {
  QTemporaryDir empty;
  const QString folder = empty.path() + QLatin1Char('/');
  EXPECT_FALSE(store_.OpenSceneTable(folder));
  EXPECT_FALSE(store_.IsOpen());
  EXPECT_FALSE(store_.OpenError().isEmpty());
  EXPECT_TRUE(QDir(empty.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
  EXPECT_EQ(store_.rowCount(), 0);
  EXPECT_EQ(store_.columnCount(), 0);
  EXPECT_EQ(store_.CurrentRow(), -1);

  const std::string closed = kSceneTableClosed;
  EXPECT_EQ(ErrorOf([&] { store_.SaveSceneRecord(7, 3, AllCodes(QStringLiteral("X"))); }), closed);
  EXPECT_EQ(ErrorOf([&] { store_.DeleteModuleScenes(3); }), closed);
  EXPECT_EQ(ErrorOf([&] { (void)store_.DeleteCurrentScene(); }), closed);
  EXPECT_EQ(ErrorOf([&] { (void)store_.DeleteAllScenes(); }), closed);
  EXPECT_TRUE(QDir(empty.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());

  // A failed reopening closes a table that was open.
  ASSERT_TRUE(store_.OpenSceneTable(folder_));
  EXPECT_FALSE(store_.OpenSceneTable(folder));
  EXPECT_EQ(ErrorOf([&] { store_.DeleteModuleScenes(3); }), closed);
}

TEST_F(SceneStoreFailureTest, FilesThatAreNoSceneTableDoNotOpenAndStayUnchanged) {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  const QString path = folder + QStringLiteral("Veltra.mdb");
  {
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'z'));
  }
  const QByteArray junkBytes = FileBytes(path);
  EXPECT_FALSE(store_.OpenSceneTable(folder));
  EXPECT_NE(store_.OpenError().indexOf(QStringLiteral("not a database")), -1)
      << store_.OpenError().toStdString();
  EXPECT_EQ(FileBytes(path), junkBytes);

  // A database without the table.
  ASSERT_TRUE(QFile::remove(path));
  { Peer(path).Exec(QStringLiteral("CREATE TABLE other (x INTEGER)")); }
  const QByteArray otherBytes = FileBytes(path);
  EXPECT_FALSE(store_.OpenSceneTable(folder));
  EXPECT_NE(store_.OpenError().indexOf(QStringLiteral("Scenes Records")), -1);
  EXPECT_EQ(FileBytes(path), otherBytes);
  EXPECT_EQ(ErrorOf([&] { store_.SaveSceneRecord(1, 1, AllCodes(QStringLiteral("X"))); }),
            std::string(kSceneTableClosed));

  // A folder by that name.
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Veltra.mdb")));
  EXPECT_FALSE(store_.OpenSceneTable(folder));
}

TEST_F(SceneStoreFailureTest, ReadOnlyFileRefusesEveryWrite) {
  Seed();
  ASSERT_EQ(::chmod(path_.toLocal8Bit().constData(), 0444), 0);
  ASSERT_TRUE(store_.OpenSceneTable(folder_)) << store_.OpenError().toStdString();
  EXPECT_EQ(store_.rowCount(), 2);  // still readable
  ExpectEveryWriteRefused("readonly");
  EXPECT_NE(ErrorOf([&] { (void)store_.DeleteAllScenes(); }).find("readonly"), std::string::npos);
  // In-place edits are refused the same way, reported by signal.
  QString refused;
  QObject::connect(&store_, &SceneTableModel::editFailed, [&](const QString& text) { refused = text; });
  QAbstractItemModel* model = &store_;
  EXPECT_FALSE(model->setData(model->index(0, 2), QStringLiteral("0")));
  EXPECT_NE(refused.indexOf(QStringLiteral("readonly")), -1) << refused.toStdString();
  EXPECT_EQ(model->index(0, 2).data().toString(), QStringLiteral("1"));
  EXPECT_FALSE(model->insertRows(0, 1));
  EXPECT_EQ(Peer(path_).Records().size(), 2);
}

TEST_F(SceneStoreFailureTest, TableLockedByAnotherConnectionRefusesWritesUntilReleased) {
  Seed();
  repository_.CheckWritable();  // free: nothing thrown, nothing written
  EXPECT_EQ(Peer(path_).Records().size(), 2);
  Peer other(path_);
  other.Exec(QStringLiteral("BEGIN EXCLUSIVE"));
  EXPECT_NE(ErrorOf([&] { repository_.CheckWritable(); }).find("locked"), std::string::npos);
  ExpectEveryWriteRefused("database is locked");
  // Even the emptiness check of "Delete All" cannot read through the lock.
  EXPECT_NE(ErrorOf([&] { (void)store_.DeleteAllScenes(); }).find("locked"), std::string::npos);
  other.Exec(QStringLiteral("ROLLBACK"));

  store_.SaveSceneRecord(1, 4, AllCodes(QStringLiteral("X")));
  EXPECT_EQ(Peer(path_).Records().first(), QStringLiteral("1,4,X,X,X,X,X,X,X,X"));
}

// The file taken away or swapped for another while the table is open: every
// write is refused with a message that says so, and nothing appears in the
// folder or in the file now at the path.
TEST_F(SceneStoreFailureTest, DeletedFileRefusesWritesAndLeavesTheFolderEmpty) {
  Seed();
  ASSERT_TRUE(QFile::remove(path_));
  ExpectEveryWriteRefused("deleted or replaced");
  EXPECT_NE(ErrorOf([&] { (void)store_.DeleteAllScenes(); }).find("deleted or replaced"), std::string::npos);
  // Grid edits are refused the same way, by signal.
  QStringList refused;
  QObject::connect(&store_, &SceneTableModel::editFailed, [&](const QString& text) { refused << text; });
  QAbstractItemModel* model = &store_;
  EXPECT_FALSE(model->setData(model->index(0, 2), QStringLiteral("0")));
  EXPECT_FALSE(model->insertRows(model->rowCount(), 1));
  EXPECT_FALSE(model->removeRows(0, 1));
  ASSERT_EQ(refused.size(), 3);
  for (const QString& text : refused) EXPECT_NE(text.indexOf(QStringLiteral("deleted or replaced")), -1) << text.toStdString();
  EXPECT_EQ(model->rowCount(), 2);
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(SceneStoreFailureTest, ReplacedFileRefusesWritesAndStaysUntouched) {
  Seed();
  const QString other = folder_ + QStringLiteral("other.mdb");
  ASSERT_EQ(MakeSceneDatabase(other), CreateResult::Created);
  ASSERT_EQ(::rename(other.toLocal8Bit().constData(), path_.toLocal8Bit().constData()), 0);
  const QByteArray replacement = FileBytes(path_);
  ExpectEveryWriteRefused("deleted or replaced");
  EXPECT_EQ(FileBytes(path_), replacement);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{QStringLiteral("Veltra.mdb")});
  // Opening again takes the new file.
  ASSERT_TRUE(store_.OpenSceneTable(folder_));
  EXPECT_EQ(store_.rowCount(), 0);
  store_.SaveSceneRecord(3, 3, AllCodes(QStringLiteral("1")));
  EXPECT_EQ(Peer(path_).Records(), QStringList{QStringLiteral("3,3,1,1,1,1,1,1,1,1")});
}

TEST_F(SceneStoreFailureTest, MissingColumnFailsTheWriteThatNeedsIt) {
  {
    Peer peer(path_);
    peer.Exec(QStringLiteral(R"(DROP TABLE "Scenes Records")"));
    peer.Exec(QStringLiteral(R"(CREATE TABLE "Scenes Records" ("Scene No" INTEGER, "Module Addr" INTEGER, )"
                             R"("CH1" TEXT, "CH2" TEXT, "CH3" TEXT, "CH4" TEXT, "CH5" TEXT, "CH6" TEXT, "CH7" TEXT))"));
    peer.Exec(QStringLiteral(R"(INSERT INTO "Scenes Records" VALUES (1, 4, '0', '0', '0', '0', '0', '0', '0'))"));
  }
  ASSERT_TRUE(store_.OpenSceneTable(folder_));
  const QByteArray before = FileBytes(path_);
  EXPECT_NE(ErrorOf([&] { store_.SaveSceneRecord(1, 4, AllCodes(QStringLiteral("X"))); }).find("CH8"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { store_.SaveSceneRecord(2, 4, AllCodes(QStringLiteral("X"))); }).find("CH8"),
            std::string::npos);
  EXPECT_EQ(FileBytes(path_), before);
  EXPECT_EQ(store_.rowCount(), 1);
  // Operations that do not need the column still work.
  store_.DeleteModuleScenes(4);
  EXPECT_EQ(store_.rowCount(), 0);
}

TEST_F(SceneStoreFailureTest, RefusedGridEditIsReportedWithNoTransactionLeftOpen) {
  Seed();
  {
    Peer peer(path_);
    peer.Exec(QStringLiteral(R"(CREATE TRIGGER "no blank" BEFORE INSERT ON "Scenes Records" )"
                             R"(WHEN NEW."Scene No" IS NULL BEGIN SELECT RAISE(ABORT, 'blank refused'); END)"));
    peer.Exec(QStringLiteral(R"(CREATE TRIGGER "keep 4" BEFORE DELETE ON "Scenes Records" )"
                             R"(WHEN OLD."Module Addr" = 4 BEGIN SELECT RAISE(ABORT, 'module 4 kept'); END)"));
  }
  // The window shows the report in a message box, whose event loop may store
  // a confirmed scene meanwhile: that save must not meet the refused edit's
  // transaction.
  QStringList refused;
  int scene = 10;
  QObject::connect(&store_, &SceneTableModel::editFailed, [&](const QString& text) {
    refused << text;
    store_.SaveSceneRecord(scene++, 7, AllCodes(QStringLiteral("1")));
  });
  QAbstractItemModel* model = &store_;
  EXPECT_FALSE(model->insertRows(model->rowCount(), 1));
  EXPECT_FALSE(model->removeRows(0, 1));
  ASSERT_EQ(refused.size(), 2);
  EXPECT_NE(refused[0].indexOf(QStringLiteral("blank refused")), -1) << refused[0].toStdString();
  EXPECT_NE(refused[1].indexOf(QStringLiteral("module 4 kept")), -1) << refused[1].toStdString();
  const QStringList expected{"1,4,1,1,1,1,1,1,1,1", "2,5,0,0,0,0,0,0,0,0", "10,7,1,1,1,1,1,1,1,1",
                             "11,7,1,1,1,1,1,1,1,1"};
  EXPECT_EQ(Peer(path_).Records(), expected);
  EXPECT_EQ(model->rowCount(), 4);
}

// In a child whose files may not grow past the table's present size (a full
// disk): appends records until a save fails. Exit status: how many saves
// went through (at most 200), or 250 when none failed, 251 when the failed
// save left its record in the grid, 252 when the table did not open.
[[noreturn]] void SaveUntilTheDiskIsFull(const QString& folder, qint64 fileSize) {
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
  const rlimit limit{static_cast<rlim_t>(fileSize), static_cast<rlim_t>(fileSize)};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(252);
  SceneRepository storeTable;
  SceneTableModel store{storeTable};
  if (!store.OpenSceneTable(folder)) _exit(252);
  const int rowsBefore = store.rowCount();
  for (int saved = 0; saved < 200; ++saved) {
    try {
      store.SaveSceneRecord(saved % 51, 10 + saved / 51, AllCodes(QStringLiteral("1")));
    } catch (const SceneStoreError&) {
      _exit(store.rowCount() == rowsBefore + saved ? saved : 251);
    }
  }
  _exit(250);
}

TEST_F(SceneStoreFailureTest, FullDiskFailsTheSaveAndKeepsEveryEarlierOne) {
  {  // the child opens the file on its own
    SceneRepository seedingTable;
    SceneTableModel seeding{seedingTable};
    ASSERT_TRUE(seeding.OpenSceneTable(folder_));
    seeding.SaveSceneRecord(1, 4, AllCodes(QStringLiteral("1")));
    seeding.SaveSceneRecord(2, 5, AllCodes(QStringLiteral("0")));
  }
  const qint64 size = QFileInfo(path_).size();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) SaveUntilTheDiskIsFull(folder_, size);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "child died, status " << status;
  const int saved = WEXITSTATUS(status);
  ASSERT_LT(saved, 200) << "exit status " << saved;

  // The file is whole and holds the seeds and every save that went through,
  // not the one that failed; no journal is left behind.
  EXPECT_LE(QFileInfo(path_).size(), size);
  EXPECT_FALSE(QFileInfo::exists(path_ + QStringLiteral("-journal")));
  Peer peer(path_);
  EXPECT_EQ(peer.Exec(QStringLiteral("PRAGMA integrity_check")), (std::vector<QStringList>{{QStringLiteral("ok")}}));
  const QStringList records = peer.Records();
  ASSERT_EQ(records.size(), 2 + saved);
  EXPECT_EQ(records.front(), QStringLiteral("1,4,1,1,1,1,1,1,1,1"));
  if (saved > 0) {
    EXPECT_EQ(records.back(),
              QStringLiteral("%1,%2,1,1,1,1,1,1,1,1").arg((saved - 1) % 51).arg(10 + (saved - 1) / 51));
  }
}

// Saves 2k and 2k+1 append record (k, 1) with all codes "0" and then update
// it to all "1". The child reports each save that returned.
[[noreturn]] void SaveUntilKilled(const QString& folder, int reportFd) {
  int done = 0;
  {
    SceneRepository storeTable;
    SceneTableModel store{storeTable};
    if (!store.OpenSceneTable(folder)) _exit(2);
    try {
      for (;; ++done) {
        store.SaveSceneRecord(done / 2, 1, AllCodes(done % 2 ? QStringLiteral("1") : QStringLiteral("0")));
        const int completed = done + 1;
        if (write(reportFd, &completed, sizeof completed) != sizeof completed) _exit(3);
      }
    } catch (...) {
      _exit(4);
    }
  }
  _exit(0);
}

TEST_F(SceneStoreFailureTest, KilledWriterLeavesAnIntactTableWithEveryCompletedSave) {
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(QFile::remove(path_));
    QFile::remove(path_ + QStringLiteral("-journal"));
    ASSERT_EQ(MakeSceneDatabase(path_), CreateResult::Created);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      SaveUntilKilled(folder_, fds[1]);
    }
    close(fds[1]);
    int completed = 0;
    int report = 0;
    // Kill at a different point of a save each round: the delay walks
    // through the time one save takes here (the disk's sync sets it).
    std::chrono::steady_clock::time_point first;
    while (completed < 20 + round && read(fds[0], &report, sizeof report) == sizeof report) {
      if (completed == 0) first = std::chrono::steady_clock::now();
      completed = report;
    }
    const auto perSave = (std::chrono::steady_clock::now() - first) / std::max(1, completed - 1);
    std::this_thread::sleep_for(perSave * round / 6);
    kill(child, SIGKILL);
    while (read(fds[0], &report, sizeof report) == sizeof report) completed = report;
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended on its own, status " << status;
    ASSERT_GE(completed, 20);

    Peer peer(path_);
    EXPECT_EQ(peer.Exec(QStringLiteral("PRAGMA integrity_check")),
              (std::vector<QStringList>{{QStringLiteral("ok")}}));
    const std::vector<QStringList> rows = peer.Exec(QStringLiteral(
        R"(SELECT "Scene No", "Module Addr", "CH1" || "CH2" || "CH3" || "CH4" || "CH5" || "CH6" || "CH7" || "CH8" )"
        R"(FROM "Scenes Records" ORDER BY rowid)"));
    // Every save that returned is there; the one under way when the kill
    // came may be there too, but whole.
    const int records = (completed + 1) / 2;
    ASSERT_TRUE(int(rows.size()) == records || int(rows.size()) == (completed + 2) / 2)
        << rows.size() << " records after " << completed << " saves";
    for (int k = 0; k < int(rows.size()); ++k) {
      EXPECT_EQ(rows[k][0].toInt(), k);
      EXPECT_EQ(rows[k][1], QStringLiteral("1"));
      const bool updated = 2 * k + 1 < completed;
      if (updated) {
        EXPECT_EQ(rows[k][2], QStringLiteral("11111111")) << "record " << k;
      } else {
        EXPECT_TRUE(rows[k][2] == QStringLiteral("00000000") || rows[k][2] == QStringLiteral("11111111"))
            << "record " << k << ": " << rows[k][2].toStdString();
      }
    }
    // The store opens the file and carries on.
    SceneRepository storeTable;
    SceneTableModel store{storeTable};
    ASSERT_TRUE(store.OpenSceneTable(folder_));
    store.SaveSceneRecord(0, 1, AllCodes(QStringLiteral("X")));
    EXPECT_EQ(store.index(0, 2).data().toString(), QStringLiteral("X"));
  }
}

}  // namespace
}  // namespace veltra::test
