// The scene grid on the scene table, its context menu and the keyboard
// delete.
#include "console/form1.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QTableView>

#include "console/dialogs.h"
#include "console/spin_edit.h"
#include "protocol/scene_commands.h"
#include "scenes/scene_store.h"

namespace veltra {
namespace {

// Down on the grid's last row (or in an empty grid) adds a record, as Insert
// does; not while a cell is being edited.
class GridDownKey : public QObject {
 public:
  GridDownKey(QTableView* grid, QAction* append) : QObject(grid), grid_(grid), append_(append) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // While a cell is edited its editor has the focus, not the grid.
    if (watched != grid_ || event->type() != QEvent::KeyPress || !grid_->hasFocus()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Down || key->modifiers() != Qt::NoModifier) return false;
    const int rows = grid_->model()->rowCount();
    if (rows > 0 && grid_->currentIndex().row() != rows - 1) return false;
    append_->trigger();
    return true;
  }

 private:
  QTableView* grid_;
  QAction* append_;
};

}  // namespace

void TForm1::BuildSceneMenu() {
  DataSource1 = new QObject(this);
  DataSource1->setObjectName("DataSource1");
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
  Delete1->setObjectName("Delete1");
  DeleteAll1 = PopupMenu1->addAction(QStringLiteral("Delete All"));
  DeleteAll1->setObjectName("DeleteAll1");
  connect(DBGrid1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(at)); });
  connect(Delete1, &QAction::triggered, this, [this] { RunGuarded([this] { Delete1Click(); }); });
  connect(DeleteAll1, &QAction::triggered, this, [this] { RunGuarded([this] { DeleteAll1Click(); }); });
}

void TForm1::BindSceneGrid() {
  DBGrid1->setModel(ADOTable1->Model());
  // The grid follows the current record, and a row picked in the grid
  // becomes the current record.
  connect(ADOTable1, &SceneStore::currentRowChanged, this, [this](int row) {
    if (followingCurrentRow_) return;
    followingCurrentRow_ = true;
    if (row >= 0) {
      DBGrid1->selectRow(row);
      DBGrid1->scrollTo(ADOTable1->Model()->index(row, 0));
    } else {
      DBGrid1->clearSelection();
    }
    followingCurrentRow_ = false;
  });
  connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (followingCurrentRow_ || !current.isValid()) return;
            followingCurrentRow_ = true;
            ADOTable1->SetCurrentRow(current.row());
            followingCurrentRow_ = false;
          });
  connect(ADOTable1, &SceneStore::editFailed, this, [this](const QString& message) { dialogs_->ShowError(message); });
  // Deleting a row from the keyboard asks first.
  GridDeleteRow = new QAction(DBGrid1);
  GridDeleteRow->setObjectName("GridDeleteRow");
  GridDeleteRow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
  GridDeleteRow->setShortcutContext(Qt::WidgetShortcut);
  DBGrid1->addAction(GridDeleteRow);
  connect(GridDeleteRow, &QAction::triggered, this, [this] {
    RunGuarded([this] {
      // Replies handled while the question is open may add or remove rows:
      // the record asked about is followed, and is left alone when it went.
      const QPersistentModelIndex current = DBGrid1->currentIndex();
      if (!current.isValid()) return;
      if (!dialogs_->Confirm(QStringLiteral("Delete record?")) || !current.isValid()) return;
      ADOTable1->Model()->removeRows(current.row(), 1);
    });
  });
  // Records added by hand. One left untouched goes again when the focus
  // leaves the grid or another row becomes current.
  GridAppendRow = new QAction(DBGrid1);
  GridAppendRow->setObjectName("GridAppendRow");
  GridAppendRow->setShortcut(QKeySequence(Qt::Key_Insert));
  GridAppendRow->setShortcutContext(Qt::WidgetShortcut);
  DBGrid1->addAction(GridAppendRow);
  DBGrid1->installEventFilter(new GridDownKey(DBGrid1, GridAppendRow));
  connect(GridAppendRow, &QAction::triggered, this, [this] { RunGuarded([this] { AppendGridRow(); }); });
  connect(ADOTable1->Model(), &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
            if (newGridRow_.isValid() && newGridRow_.row() >= topLeft.row() && newGridRow_.row() <= bottomRight.row())
              newGridRow_ = QPersistentModelIndex();
          });
  connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (newGridRow_.isValid() && current.row() != newGridRow_.row())
              QMetaObject::invokeMethod(this, &TForm1::DropUntouchedGridRow, Qt::QueuedConnection);
          });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (!newGridRow_.isValid() || !now || now->window() != this) return;
    if (now != DBGrid1 && !DBGrid1->isAncestorOf(now)) DropUntouchedGridRow();
  });
}

void TForm1::AppendGridRow() {
  QAbstractItemModel* model = ADOTable1->Model();
  if (!newGridRow_.isValid()) {
    if (model->columnCount() == 0) return;  // no table
    int added = -1;
    const auto watch = connect(model, &QAbstractItemModel::rowsInserted, this,
                               [&added](const QModelIndex&, int first, int) { added = first; });
    const bool inserted = model->insertRows(model->rowCount(), 1);  // a refusal comes as editFailed
    disconnect(watch);
    if (!inserted || added < 0) return;
    newGridRow_ = QPersistentModelIndex(model->index(added, 0));
  }
  DBGrid1->setCurrentIndex(model->index(newGridRow_.row(), std::max(0, DBGrid1->currentIndex().column())));
}

void TForm1::DropUntouchedGridRow() {
  if (!newGridRow_.isValid()) return;
  const int row = newGridRow_.row();
  newGridRow_ = QPersistentModelIndex();
  ADOTable1->Model()->removeRows(row, 1);
}

void TForm1::Delete1Click() {
  if (!ADOTable1->DeleteCurrentScene()) dialogs_->Message(QStringLiteral("No records!"));
}

void TForm1::DeleteAll1Click() {
  if (!ADOTable1->DeleteAllScenes()) dialogs_->Message(QStringLiteral("No records!"));
}

}  // namespace veltra
