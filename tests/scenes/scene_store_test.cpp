// The scene table's operations as the window and the reply decoder use them.
#include <QAbstractItemModel>

#include "scene_store_test_support.h"

namespace veltra::test {
namespace {

class SceneStoreTest : public SceneDbTest {
 protected:
  void Open() {
    ASSERT_TRUE(store_.OpenSceneTable(folder_)) << store_.OpenError().toStdString();
  }
  // Appends by hand, as records made before this run.
  void Seed(const QStringList& pairs) {
    Peer peer(path_);
    peer.Exec(QStringLiteral("BEGIN"));
    for (const QString& pair : pairs) {
      const QStringList sm = pair.split(QLatin1Char(','));
      peer.Exec(QStringLiteral(
                    R"(INSERT INTO "Scenes Records" ("Scene No", "Module Addr", "CH1", "CH2", "CH3", )"
                    R"("CH4", "CH5", "CH6", "CH7", "CH8") VALUES (%1, %2, "0", "0", "0", "0", "0", )"
                    R"("0", "0", "0"))")
                    .arg(sm[0], sm[1]));
    }
    peer.Exec(QStringLiteral("COMMIT"));
  }
  QString CurrentScene() {
    return store_.index(store_.CurrentRow(), 0).data().toString() + QLatin1Char(',') +
           store_.index(store_.CurrentRow(), 1).data().toString();
  }
  SceneRepository repository_;
  SceneTableModel store_{repository_};
};

TEST_F(SceneStoreTest, SaveAppendsOnceThenUpdatesTheRecord) {
  Open();
  EXPECT_EQ(store_.CurrentRow(), -1);
  Codes codes = AllCodes(QStringLiteral("X"));
  codes[0] = QStringLiteral("1");
  codes[1] = QStringLiteral("0");
  store_.SaveSceneRecord(7, 3, codes);
  EXPECT_EQ(Peer(path_).Records(), QStringList{QStringLiteral("7,3,1,0,X,X,X,X,X,X")});
  EXPECT_EQ(store_.rowCount(), 1);
  EXPECT_EQ(store_.CurrentRow(), 0);

  codes[1] = QStringLiteral("1");
  store_.SaveSceneRecord(7, 3, codes);
  EXPECT_EQ(Peer(path_).Records(), QStringList{QStringLiteral("7,3,1,1,X,X,X,X,X,X")});
  EXPECT_EQ(store_.rowCount(), 1);
  EXPECT_EQ(store_.index(0, 3).data().toString(), QStringLiteral("1"));

  // Every channel is written to its own column.
  store_.SaveSceneRecord(7, 3, {"0", "1", "X", "1", "0", "X", "1", "0"});
  EXPECT_EQ(Peer(path_).Records(), QStringList{QStringLiteral("7,3,0,1,X,1,0,X,1,0")});
  // Another scene of the module, and the same scene of another module, are new records.
  store_.SaveSceneRecord(8, 3, codes);
  store_.SaveSceneRecord(7, 4, codes);
  EXPECT_EQ(Peer(path_).Records().size(), 3);
  EXPECT_EQ(store_.rowCount(), 3);
  EXPECT_EQ(store_.CurrentRow(), 2);
}

TEST_F(SceneStoreTest, SaveUpdatesOnlyTheFirstMatchAndMakesItCurrent) {
  Seed({"1,2", "5,9", "5,9", "6,9"});
  Open();
  EXPECT_EQ(store_.CurrentRow(), 3);  // the last record after opening
  store_.SaveSceneRecord(5, 9, AllCodes(QStringLiteral("1")));
  EXPECT_EQ(Peer(path_).Records(),
            (QStringList{"1,2,0,0,0,0,0,0,0,0", "5,9,1,1,1,1,1,1,1,1", "5,9,0,0,0,0,0,0,0,0",
                         "6,9,0,0,0,0,0,0,0,0"}));
  EXPECT_EQ(store_.CurrentRow(), 1);
  EXPECT_EQ(store_.index(1, 9).data().toString(), QStringLiteral("1"));
  EXPECT_EQ(store_.index(2, 9).data().toString(), QStringLiteral("0"));
}

TEST_F(SceneStoreTest, DeleteModuleScenesRemovesEveryRecordOfThatModuleOnly) {
  Seed({"1,4", "2,3", "7,4", "0,4", "2,5", "50,4"});
  Open();
  store_.SetCurrentRow(1);  // 2,3 stays and stays current
  store_.DeleteModuleScenes(4);
  EXPECT_EQ(Peer(path_).Records(), (QStringList{"2,3,0,0,0,0,0,0,0,0", "2,5,0,0,0,0,0,0,0,0"}));
  ASSERT_EQ(store_.rowCount(), 2);
  EXPECT_EQ(store_.index(1, 1).data().toInt(), 5);
  EXPECT_EQ(CurrentScene(), QStringLiteral("2,3"));

  store_.DeleteModuleScenes(4);  // nothing left of it: no change, no error
  EXPECT_EQ(Peer(path_).Records().size(), 2);
}

TEST_F(SceneStoreTest, DeleteModuleScenesMovesCurrentPastRemovedRecords) {
  // Enough scattered records that the model drops them in one pass.
  QStringList pairs;
  for (int i = 0; i < 40; ++i) pairs << QStringLiteral("%1,%2").arg(i).arg(i % 2 ? 8 : 1);
  Seed(pairs);
  Open();
  store_.SetCurrentRow(5);  // scene 5, module 8
  store_.DeleteModuleScenes(8);
  EXPECT_EQ(store_.rowCount(), 20);
  EXPECT_EQ(Peer(path_).Records().size(), 20);
  EXPECT_EQ(CurrentScene(), QStringLiteral("6,1"));  // the record after the removed one
  for (int r = 0; r < 20; ++r) EXPECT_EQ(store_.index(r, 0).data().toInt(), 2 * r);

  store_.SetCurrentRow(19);
  store_.DeleteModuleScenes(1);
  EXPECT_EQ(store_.CurrentRow(), -1);
  EXPECT_EQ(store_.rowCount(), 0);
}

TEST_F(SceneStoreTest, GridIsToldTheCurrentRowAgainAfterTheModelIsReset) {
  QStringList pairs;
  for (int i = 0; i < 40; ++i) pairs << QStringLiteral("%1,%2").arg(i).arg(i % 2 ? 8 : 1);
  Seed(pairs);
  Open();
  store_.SetCurrentRow(0);
  std::vector<int> reported;
  QObject::connect(&store_, &SceneTableModel::currentRowChanged,
                   [&](int row) { reported.push_back(row); });
  store_.DeleteModuleScenes(8);  // 20 scattered rows: the model is reset
  EXPECT_EQ(reported, std::vector<int>{0});
  store_.Refresh();
  EXPECT_EQ(reported, (std::vector<int>{0, 0}));
  store_.SaveSceneRecord(0, 1, AllCodes(QStringLiteral("1")));  // same record, nothing moved
  EXPECT_EQ(reported, (std::vector<int>{0, 0}));
}

TEST_F(SceneStoreTest, DeleteTakesTheCurrentRecordAndMovesOn) {
  Seed({"1,1", "2,1", "3,1", "4,1"});
  Open();
  std::vector<int> reported;
  QObject::connect(&store_, &SceneTableModel::currentRowChanged,
                   [&](int row) { reported.push_back(row); });

  ASSERT_TRUE(store_.DeleteCurrentScene());  // the last one, current after opening
  EXPECT_EQ(Peer(path_).Records().size(), 3);
  EXPECT_EQ(CurrentScene(), QStringLiteral("3,1"));  // the previous one: it was the last

  store_.SetCurrentRow(0);
  ASSERT_TRUE(store_.DeleteCurrentScene());
  EXPECT_EQ(CurrentScene(), QStringLiteral("2,1"));  // the next one
  EXPECT_EQ(Peer(path_).Records(), (QStringList{"2,1,0,0,0,0,0,0,0,0", "3,1,0,0,0,0,0,0,0,0"}));
  // Row 2, then row 0 twice: after the delete row 0 holds another record.
  EXPECT_EQ(reported, (std::vector<int>{2, 0, 0}));

  store_.SetCurrentRow(7);  // out of range: ignored
  EXPECT_EQ(store_.CurrentRow(), 0);
}

TEST_F(SceneStoreTest, DeleteAllEmptiesTheTableThenReportsNoRecords) {
  Seed({"1,1", "2,1", "3,2", "4,2", "5,3"});
  Open();
  ASSERT_TRUE(store_.DeleteAllScenes());
  EXPECT_TRUE(Peer(path_).Records().isEmpty());
  EXPECT_EQ(store_.rowCount(), 0);
  EXPECT_EQ(store_.CurrentRow(), -1);
  const QByteArray before = FileBytes(path_);
  EXPECT_FALSE(store_.DeleteAllScenes());
  EXPECT_FALSE(store_.DeleteCurrentScene());
  EXPECT_EQ(FileBytes(path_), before);

  // The table works on after emptying: a new record is appended and current.
  store_.SaveSceneRecord(1, 2, AllCodes(QStringLiteral("0")));
  EXPECT_EQ(store_.CurrentRow(), 0);
  EXPECT_TRUE(store_.DeleteCurrentScene());
  EXPECT_FALSE(store_.DeleteCurrentScene());
}

TEST_F(SceneStoreTest, ModelHoldsEveryRecordAndColumnAndWritesEdits) {
  QStringList pairs;
  for (int i = 0; i < 600; ++i) pairs << QStringLiteral("%1,%2").arg(i % 51).arg(1 + i % 32);
  Seed(pairs);
  Open();
  QAbstractItemModel* model = &store_;
  EXPECT_EQ(model->rowCount(), 600);  // all of them, not the first 256
  EXPECT_EQ(store_.CurrentRow(), 599);
  const QStringList titles{"Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4",
                           "CH5",      "CH6",         "CH7", "CH8", "ID"};
  ASSERT_EQ(model->columnCount(), titles.size());
  for (int c = 0; c < titles.size(); ++c) {
    EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), titles[c]);
  }
  // The key column is shown but not editable; the others are.
  EXPECT_FALSE(model->flags(model->index(0, 10)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model->flags(model->index(0, 2)) & Qt::ItemIsEditable);

  ASSERT_TRUE(model->setData(model->index(3, 2), QStringLiteral("X")));
  EXPECT_EQ(Peer(path_).Records()[3], QStringLiteral("3,4,X,0,0,0,0,0,0,0"));
  EXPECT_EQ(model->index(3, 2).data().toString(), QStringLiteral("X"));

  // Rows added by hand go to the end, empty; rows removed by hand leave the table.
  ASSERT_TRUE(model->insertRows(0, 1));
  EXPECT_EQ(model->rowCount(), 601);
  EXPECT_EQ(Peer(path_).Records().last(), QStringLiteral("NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL"));
  ASSERT_TRUE(model->removeRows(0, 2));
  EXPECT_EQ(model->rowCount(), 599);
  EXPECT_EQ(Peer(path_).Records().first(), QStringLiteral("2,3,0,0,0,0,0,0,0,0"));

  // Changes by another program show after Refresh.
  Seed({"9,9"});
  EXPECT_EQ(model->rowCount(), 599);
  store_.Refresh();
  EXPECT_EQ(model->rowCount(), 600);
}

TEST_F(SceneStoreTest, OtherColumnsAreShownAndLeftAlone) {
  Peer(path_).Exec(QStringLiteral(R"(ALTER TABLE "Scenes Records" ADD COLUMN "Note" TEXT DEFAULT 'kept')"));
  Open();
  ASSERT_EQ(store_.columnCount(), 12);
  EXPECT_EQ(store_.headerData(11, Qt::Horizontal).toString(), QStringLiteral("Note"));
  store_.SaveSceneRecord(1, 1, AllCodes(QStringLiteral("0")));
  store_.SaveSceneRecord(1, 1, AllCodes(QStringLiteral("1")));
  EXPECT_EQ(Peer(path_).Exec(QStringLiteral(R"(SELECT "Note", "CH8" FROM "Scenes Records")")),
            (std::vector<QStringList>{{"kept", "1"}}));
  EXPECT_EQ(store_.index(0, 11).data().toString(), QStringLiteral("kept"));
}

TEST_F(SceneStoreTest, APathWithUriCharactersOpensThatVeryFile) {
  // '?', '#', '%' and ';' in the folder must not cut or bend the path.
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("a?b#c%20d;e f")));
  const QString folder = dir_.path() + QStringLiteral("/a?b#c%20d;e f/");
  ASSERT_EQ(MakeSceneDatabase(folder + "Veltra.mdb"), CreateResult::Created);
  ASSERT_TRUE(store_.OpenSceneTable(folder)) << store_.OpenError().toStdString();
  EXPECT_EQ(store_.FilePath(), folder + QStringLiteral("Veltra.mdb"));
  store_.SaveSceneRecord(3, 3, AllCodes(QStringLiteral("1")));
  EXPECT_EQ(Peer(folder + "Veltra.mdb").Records().size(), 1);
  EXPECT_EQ(Peer(path_).Records().size(), 0);
  // Nothing was made under a cut-off name.
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2);
}

TEST_F(SceneStoreTest, ReopeningMovesToTheOtherFile) {
  Seed({"1,1", "2,2"});
  Open();
  QTemporaryDir other;
  ASSERT_EQ(MakeSceneDatabase(other.path() + "/Veltra.mdb"),
            CreateResult::Created);
  ASSERT_TRUE(store_.OpenSceneTable(other.path() + QLatin1Char('/')));
  EXPECT_EQ(store_.rowCount(), 0);
  store_.SaveSceneRecord(4, 4, AllCodes(QStringLiteral("X")));
  EXPECT_EQ(Peer(path_).Records().size(), 2);
  EXPECT_EQ(Peer(other.path() + "/Veltra.mdb").Records().size(), 1);
}

}  // namespace
}  // namespace veltra::test
