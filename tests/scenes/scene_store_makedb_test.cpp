// The build step that puts an empty "Veltra.mdb" beside the console: the
// tool run exactly as the veltra_scene_db target runs it.
#include <QFileInfo>
#include <QProcess>

#include "scene_store_test_support.h"

namespace veltra::test {
namespace {

struct ToolRun {
  int exitCode;
  QString output;
};

ToolRun RunTool(const QStringList& arguments) {
  QProcess tool;
  tool.setProcessChannelMode(QProcess::MergedChannels);
  tool.start(QStringLiteral(VELTRA_MAKEDB_TOOL), arguments);
  if (!tool.waitForFinished(30000)) return {-1, QStringLiteral("did not finish")};
  return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
          QString::fromLocal8Bit(tool.readAll())};
}

TEST(SceneDatabaseStep, CreatesAnEmptySceneTableWhenNoFileIsThere) {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/Veltra.mdb");
  const ToolRun run = RunTool({"--if-absent", VELTRA_SCENE_SCHEMA, path});
  ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
  ASSERT_TRUE(QFileInfo::exists(path));
  // Only the database: no temporary or journal file left behind.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{QStringLiteral("Veltra.mdb")});

  SceneRepository storeTable;
  SceneTableModel store{storeTable};
  ASSERT_TRUE(store.OpenSceneTable(dir.path() + QLatin1Char('/'))) << store.OpenError().toStdString();
  EXPECT_EQ(store.rowCount(), 0);
  EXPECT_EQ(store.columnCount(), 11);
  store.SaveSceneRecord(50, 32, AllCodes(QStringLiteral("X")));
  EXPECT_EQ(Peer(path).Records(), QStringList{QStringLiteral("50,32,X,X,X,X,X,X,X,X")});
  EXPECT_EQ(Peer(path).Exec(QStringLiteral(
                R"(SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Scenes Records')")),
            (std::vector<QStringList>{{QStringLiteral("1")}}));
}

TEST(SceneDatabaseStep, LeavesAnExistingFileByteIdentical) {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/Veltra.mdb");
  {
    QFile existing(path);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an operator's own scene table, whatever it holds");
  }
  const QByteArray before = FileBytes(path);
  const QDateTime modified = QFileInfo(path).lastModified();

  const ToolRun keep = RunTool({"--if-absent", VELTRA_SCENE_SCHEMA, path});
  EXPECT_EQ(keep.exitCode, 0) << keep.output.toStdString();
  const ToolRun refuse = RunTool({VELTRA_SCENE_SCHEMA, path});
  EXPECT_EQ(refuse.exitCode, 1);
  EXPECT_NE(refuse.output.indexOf(QStringLiteral("refusing")), -1) << refuse.output.toStdString();

  EXPECT_EQ(FileBytes(path), before);
  EXPECT_EQ(QFileInfo(path).lastModified(), modified);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{QStringLiteral("Veltra.mdb")});
}

TEST(SceneDatabaseStep, FailsCleanlyOnBadInput) {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/Veltra.mdb");
  EXPECT_EQ(RunTool({"--if-absent", dir.path() + "/no-schema.sql", path}).exitCode, 1);
  QFile broken(dir.path() + "/broken.sql");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("CREATE TABLE t (a INTEGER);\nCREATE TABLE oops (;\n");
  broken.close();
  EXPECT_EQ(RunTool({dir.path() + "/broken.sql", path}).exitCode, 1);
  EXPECT_EQ(RunTool({"--if-absent", VELTRA_SCENE_SCHEMA, dir.path() + "/missing/Veltra.mdb"}).exitCode, 1);
  EXPECT_EQ(RunTool({VELTRA_SCENE_SCHEMA}).exitCode, 2);
  // Nothing half-made is left under the database's name.
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{QStringLiteral("broken.sql")});
}

TEST(SceneDatabaseStep, SplitsScriptsAtSemicolonsOutsideQuotesAndComments) {
  EXPECT_EQ(SplitSqlStatements("-- a comment; with a semicolon\n"
                               "CREATE TABLE \"a;b\" (x TEXT DEFAULT 'it''s; fine'); /* c; */ SELECT 1;\n ;\n"),
            (std::vector<std::string>{"CREATE TABLE \"a;b\" (x TEXT DEFAULT 'it''s; fine')", "SELECT 1"}));
  EXPECT_TRUE(SplitSqlStatements("-- only a comment\n").empty());
}

}  // namespace
}  // namespace veltra::test
