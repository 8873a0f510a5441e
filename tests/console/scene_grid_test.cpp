// The scene grid on a real scene database: confirmed scenes stored and shown,
// module scenes cleared, "Delete"/"Delete All", and a missing database.
// Requests go to a recording serial link that answers at once, or later
// through Arrive.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "../support/bytes.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

// Module `module` confirms "Set" (command 02) or "Clear" (03) with `status`.
std::vector<std::uint8_t> SceneReply(int module, std::uint8_t command, std::uint8_t status = 1) {
  return WithChecksum({0x55, 0xAA, 0x09, static_cast<std::uint8_t>(module), 0x80, command, status});
}

class SceneGrid : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::unique_ptr<CapturingWindow> form;

  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    MakeSceneDatabase(folder.filePath("Veltra.mdb"));
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    form = std::make_unique<CapturingWindow>(options);
  }
  // The window shown on "Scene Control", the grid able to take the focus.
  void ShowGrid() {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ShowPage(*form, "TabSheet2");
  }
  // `button` clicked for `module`, answered at once on the serial line.
  void Answered(QPushButton* button, int module, const std::vector<std::uint8_t>& reply) {
    Spin(*form, "SpinEdit5")->SetValue(module);
    form->serialReply = AsString(reply);
    button->click();
    form->serialReply.clear();
    ASSERT_TRUE(form->RequestsHeldBecause().isEmpty());
  }
  // "Set" of a scene, confirmed.
  void Scene(int module, int scene, std::initializer_list<const char*> channels) {
    Spin(*form, "SpinEdit4")->SetValue(scene);
    std::size_t k = 0;
    for (const char* item : channels) ChannelList(*form, k++)->setCurrentText(item);
    Answered(Button(*form, "Button7"), module, SceneReply(module, 0x02));
  }
  int Column(const QString& title) const {
    QAbstractItemModel* model = Grid(*form)->model();
    for (int c = 0; c < model->columnCount(); ++c)
      if (model->headerData(c, Qt::Horizontal).toString() == title) return c;
    ADD_FAILURE() << "no column " << title.toStdString();
    return -1;
  }
  // The records as the file holds them, read through a connection of their own.
  QStringList FileRows() const {
    QStringList rows;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("scene_grid_peer"));
      db.setDatabaseName(folder.filePath("Veltra.mdb"));
      EXPECT_TRUE(db.open());
      QSqlQuery query(db);
      EXPECT_TRUE(query.exec(R"(SELECT "Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", )"
                             R"("CH7", "CH8" FROM "Scenes Records" ORDER BY rowid)"));
      while (query.next()) {
        QStringList cells;
        for (int c = 0; c < 10; ++c) cells << query.value(c).toString();
        rows << cells.join(',');
      }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("scene_grid_peer"));
    return rows;
  }
  // The grid's rows as "scene,module,CH1..CH8", by column title.
  QStringList Rows() const {
    QAbstractItemModel* model = Grid(*form)->model();
    std::vector<int> columns;
    QStringList titles{"Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7", "CH8"};
    for (const QString& title : titles)
      for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == title) columns.push_back(c);
    EXPECT_EQ(columns.size(), static_cast<std::size_t>(titles.size()));
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
      QStringList cells;
      for (int c : columns) cells << model->index(r, c).data().toString();
      rows << cells.join(',');
    }
    return rows;
  }
};

TEST_F(SceneGrid, ConfirmedScenesAreStoredAndShown) {
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  Scene(3, 7, {"ON", "OFF"});
  EXPECT_EQ(Rows(), QStringList{"7,3,1,0,X,X,X,X,X,X"});
  EXPECT_EQ(Grid(*form)->currentIndex().row(), 0);
  // Again after CH2 changed: the record is updated, not added.
  Scene(3, 7, {"ON", "ON"});
  EXPECT_EQ(Rows(), QStringList{"7,3,1,1,X,X,X,X,X,X"});
  // "Outputs :" plays no part: all eight channels are stored.
  Spin(*form, "SpinEdit6")->SetValue(2);
  Scene(4, 1, {"OFF", "OFF", "ON", "ON", "OFF", "OFF", "ON", "ON"});
  Scene(3, 8, {"ON"});  // the other lists keep what the previous scene set
  EXPECT_EQ(Rows(), (QStringList{"7,3,1,1,X,X,X,X,X,X", "1,4,0,0,1,1,0,0,1,1", "8,3,1,0,1,1,0,0,1,1"}));
  EXPECT_EQ(Grid(*form)->currentIndex().row(), 2);

  // A confirmed "Clear" clears every scene of the module it went to.
  Answered(Button(*form, "Button13"), 3, SceneReply(3, 0x03));
  EXPECT_EQ(Rows(), QStringList{"1,4,0,0,1,1,0,0,1,1"});
  // A failed "Set" stores nothing, nor does a failed "Clear" delete.
  Answered(Button(*form, "Button7"), 3, SceneReply(3, 0x02, 0x05));
  Answered(Button(*form, "Button13"), 4, SceneReply(4, 0x03, 0x05));
  EXPECT_EQ(Rows(), QStringList{"1,4,0,0,1,1,0,0,1,1"});
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(SceneGrid, DeleteAndDeleteAllFromTheContextMenu) {
  Scene(1, 1, {"ON"});
  Scene(2, 1, {"ON"});
  Scene(3, 1, {"ON"});
  // "Delete" removes the current record, the one marked in the grid.
  Grid(*form)->selectRow(0);
  Action(*form, "Delete1")->trigger();
  EXPECT_EQ(Rows(), (QStringList{"1,2,1,X,X,X,X,X,X,X", "1,3,1,X,X,X,X,X,X,X"}));
  // "Delete All" asks first, and No (the default) keeps every record.
  Action(*form, "DeleteAll1")->trigger();
  EXPECT_EQ(dialogs.confirms, QStringList{"Delete all 2 scene records?"});
  EXPECT_EQ(Rows().size(), 2);
  dialogs.answers = {true};
  Action(*form, "DeleteAll1")->trigger();
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_TRUE(dialogs.messages.isEmpty());
  // Nothing left: nothing to ask.
  Action(*form, "DeleteAll1")->trigger();
  Action(*form, "Delete1")->trigger();
  EXPECT_EQ(dialogs.messages, (QStringList{"No records!", "No records!"}));
  EXPECT_EQ(dialogs.confirms.size(), 2);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(SceneGrid, CellsAreEditedInPlace) {
  Scene(5, 9, {"ON"});
  QAbstractItemModel* model = Grid(*form)->model();
  int ch8 = -1;
  for (int c = 0; c < model->columnCount(); ++c)
    if (model->headerData(c, Qt::Horizontal).toString() == "CH8") ch8 = c;
  ASSERT_GE(ch8, 0);
  EXPECT_TRUE(model->flags(model->index(0, ch8)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model->setData(model->index(0, ch8), "1"));
  EXPECT_EQ(Rows(), QStringList{"9,5,1,X,X,X,X,X,X,1"});
  // Deleting from the keyboard asks first.
  Grid(*form)->setCurrentIndex(model->index(0, 0));
  dialogs.answers = {false};
  Action(*form, "GridDeleteRow")->trigger();
  EXPECT_EQ(Rows().size(), 1);
  dialogs.answers = {true};
  Action(*form, "GridDeleteRow")->trigger();
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_EQ(dialogs.confirms.size(), 2);
}

TEST_F(SceneGrid, KeyboardDeleteRemovesTheRecordAskedAboutWhenRepliesMoveTheRows) {
  Scene(1, 1, {"ON"});
  Scene(2, 1, {"ON"});
  Scene(3, 1, {"ON"});
  QAbstractItemModel* model = Grid(*form)->model();
  // "Clear" for module 1 waits for its confirmation ...
  Spin(*form, "SpinEdit5")->SetValue(1);
  Button(*form, "Button13")->click();
  ASSERT_FALSE(form->RequestsHeldBecause().isEmpty());
  Grid(*form)->setCurrentIndex(model->index(1, 0));
  // ... which comes while "Delete record?" is open and takes the first row
  // away: the record of module 2 is still the one deleted.
  dialogs.answers = {true};
  dialogs.whileAsking = [this] { form->serialLine.Arrive(SceneReply(1, 0x03)); };
  Action(*form, "GridDeleteRow")->trigger();
  EXPECT_EQ(Rows(), QStringList{"1,3,1,X,X,X,X,X,X,X"});

  // Cleared meanwhile itself: nothing else goes.
  Scene(4, 1, {"ON"});
  Spin(*form, "SpinEdit5")->SetValue(3);
  Button(*form, "Button13")->click();
  Grid(*form)->setCurrentIndex(model->index(0, 0));
  dialogs.answers = {true};
  dialogs.whileAsking = [this] { form->serialLine.Arrive(SceneReply(3, 0x03)); };
  Action(*form, "GridDeleteRow")->trigger();
  EXPECT_EQ(Rows(), QStringList{"1,4,1,X,X,X,X,X,X,X"});
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(SceneGrid, RecordsAreAddedByHandAndAnUntouchedOneGoesAgain) {
  Scene(5, 9, {"ON"});
  ShowGrid();
  Grid(*form)->setFocus();
  QAbstractItemModel* model = Grid(*form)->model();
  const QString blank = ",,,,,,,,,";

  // Insert adds one empty record and makes it current; a second Insert
  // stays on it.
  QTest::keyClick(Grid(*form), Qt::Key_Insert);
  QTest::keyClick(Grid(*form), Qt::Key_Insert);
  EXPECT_EQ(Rows(), (QStringList{"9,5,1,X,X,X,X,X,X,X", blank}));
  EXPECT_EQ(Grid(*form)->currentIndex().row(), 1);
  // Left untouched, it goes when the focus leaves the grid.
  Spin(*form, "SpinEdit5")->setFocus();
  EXPECT_EQ(Rows(), QStringList{"9,5,1,X,X,X,X,X,X,X"});

  // Down on the last row adds one too; filled in, it stays.
  Grid(*form)->setFocus();
  Grid(*form)->setCurrentIndex(model->index(0, 0));
  QTest::keyClick(Grid(*form), Qt::Key_Down);
  EXPECT_EQ(Rows().size(), 2);
  ASSERT_EQ(Grid(*form)->currentIndex().row(), 1);
  EXPECT_TRUE(model->setData(model->index(1, Grid(*form)->currentIndex().column()), "4"));
  Spin(*form, "SpinEdit5")->setFocus();
  EXPECT_EQ(Rows().size(), 2);

  // An untouched one also goes when another row becomes current, and when
  // the window closes.
  Grid(*form)->setFocus();
  QTest::keyClick(Grid(*form), Qt::Key_Insert);
  EXPECT_EQ(Rows().size(), 3);
  Grid(*form)->setCurrentIndex(model->index(0, 0));
  QCoreApplication::processEvents();
  EXPECT_EQ(Rows().size(), 2);
  QTest::keyClick(Grid(*form), Qt::Key_Insert);
  EXPECT_EQ(Rows().size(), 3);
  form->close();
  EXPECT_EQ(Rows().size(), 2);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(SceneGrid, EditsThatTheColumnCannotHoldAreRefused) {
  Scene(5, 9, {"ON"});
  const QString stored = "9,5,1,X,X,X,X,X,X,X";
  ASSERT_EQ(FileRows(), QStringList{stored});
  QAbstractItemModel* model = Grid(*form)->model();
  struct Refused {
    const char* column;
    std::vector<QVariant> values;
  };
  const Refused refused[] = {
      {"Scene No", {"abc", "1.5", "-3", "", " ", "51", "1e1", QVariant()}},
      {"Module Addr", {"0", "33", "x", "", "2.0"}},
      {"CH3", {"2", "", "on", "XX", "-", "10"}},
      {"CH8", {"Y", " "}},
  };
  for (const Refused& r : refused) {
    const int column = Column(r.column);
    for (const QVariant& value : r.values) {
      const auto errors = dialogs.errors.size();
      EXPECT_FALSE(model->setData(model->index(0, column), value)) << r.column << " " << value.toString().toStdString();
      ASSERT_EQ(dialogs.errors.size(), errors + 1) << r.column << " " << value.toString().toStdString();
      EXPECT_TRUE(dialogs.errors.last().contains(r.column)) << dialogs.errors.last().toStdString();
    }
  }
  EXPECT_TRUE(dialogs.errors.last().contains("0 (OFF), 1 (ON) or X (No Change)")) << dialogs.errors.last().toStdString();
  EXPECT_EQ(Rows(), QStringList{stored});
  EXPECT_EQ(FileRows(), QStringList{stored});

  // Whole numbers in range and the channel codes are stored; x is taken as X.
  const auto errors = dialogs.errors.size();
  EXPECT_TRUE(model->setData(model->index(0, Column("Scene No")), " 50 "));
  EXPECT_TRUE(model->setData(model->index(0, Column("Module Addr")), 32));
  EXPECT_TRUE(model->setData(model->index(0, Column("CH1")), "0"));
  EXPECT_TRUE(model->setData(model->index(0, Column("CH2")), "x"));
  EXPECT_TRUE(model->setData(model->index(0, Column("CH8")), "1"));
  EXPECT_EQ(dialogs.errors.size(), errors);
  EXPECT_EQ(Rows(), QStringList{"50,32,0,X,X,X,X,X,X,1"});
  EXPECT_EQ(FileRows(), QStringList{"50,32,0,X,X,X,X,X,X,1"});

  // Typed into the grid's editor: refused with the reason, the cell shows
  // the stored value again.
  ShowGrid();
  Grid(*form)->setFocus();
  Grid(*form)->setCurrentIndex(model->index(0, Column("Module Addr")));
  QTest::keyClick(Grid(*form), Qt::Key_F2);
  QWidget* editor = QApplication::focusWidget();
  ASSERT_NE(editor, Grid(*form));
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, "-3");
  QTest::keyClick(editor, Qt::Key_Return);  // the grid takes the edit when back in its event loop
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.errors.size() == errors + 1; }, 2000));
  EXPECT_TRUE(dialogs.errors.last().contains("from 1 to 32")) << dialogs.errors.last().toStdString();
  EXPECT_EQ(model->index(0, Column("Module Addr")).data().toInt(), 32);
  EXPECT_EQ(FileRows(), QStringList{"50,32,0,X,X,X,X,X,X,1"});
}

TEST_F(SceneGrid, TabLeavesTheGridFromItsLastCellAndShiftTabFromItsFirst) {
  Scene(1, 1, {"ON"});
  Scene(2, 1, {"ON"});
  ShowGrid();
  QTableView* grid = Grid(*form);
  QAbstractItemModel* model = grid->model();
  const int last = model->columnCount() - 1;
  auto inGrid = [grid] {
    QWidget* focus = QApplication::focusWidget();
    return focus == grid || grid->isAncestorOf(focus);
  };

  // Inside the grid Tab goes from cell to cell, across rows.
  grid->setFocus();
  grid->setCurrentIndex(model->index(0, last));
  QTest::keyClick(grid, Qt::Key_Tab);
  EXPECT_TRUE(inGrid());
  EXPECT_EQ(grid->currentIndex(), model->index(1, 0));
  QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(grid->currentIndex(), model->index(0, last));

  // From the last cell on, and from the first cell back, it leaves.
  grid->setCurrentIndex(model->index(1, last));
  QTest::keyClick(grid, Qt::Key_Tab);
  EXPECT_FALSE(inGrid());
  grid->setFocus();
  grid->setCurrentIndex(model->index(0, 0));
  QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_FALSE(inGrid());

  // Also while the first cell is being edited; the edit is kept.
  grid->setFocus();
  grid->setCurrentIndex(model->index(0, 0));
  QTest::keyClick(grid, Qt::Key_F2);
  QWidget* editor = QApplication::focusWidget();
  ASSERT_NE(editor, grid);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, "7");
  QTest::keyClick(editor, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_FALSE(inGrid());
  EXPECT_EQ(Rows().first(), "7,1,1,X,X,X,X,X,X,X");

  // Ctrl+Tab still steps from cell to cell.
  grid->setFocus();
  grid->setCurrentIndex(model->index(0, 1));
  QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_TRUE(inGrid());
  EXPECT_EQ(grid->currentIndex(), model->index(0, 2));
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST(SceneGridMissingDatabase, ReportedAtStartAndOnEveryTableOperation) {
  QTemporaryDir empty;
  FakeDialogs dialogs;
  MainWindowOptions options = TestOptions(dialogs);
  options.sceneFolder = empty.path() + '/';
  CapturingWindow form{options};
  EXPECT_EQ(dialogs.messages, QStringList{"Can not find database"});
  EXPECT_FALSE(QFileInfo::exists(empty.filePath("Veltra.mdb")));

  // The scene command is still sent; its confirmation is logged and then
  // ends with the closed-table error.
  Radio(form, "RadioButton1")->setChecked(true);
  Spin(form, "SpinEdit5")->SetValue(3);
  form.reply = AsString(WithChecksum(FromHex("55 AA 0B 00 01 03 80 02 01")));
  Button(form, "Button7")->click();
  EXPECT_EQ(form.datagrams.size(), 1u);
  const QStringList log = LogText(form).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[1].endsWith("OK!"));
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_FALSE(dialogs.errors[0].isEmpty());
  Action(form, "Delete1")->trigger();
  Action(form, "DeleteAll1")->trigger();
  EXPECT_EQ(dialogs.errors.size(), 3);
  EXPECT_EQ(dialogs.messages, QStringList{"Can not find database"});
}

}  // namespace
}  // namespace veltra::test
