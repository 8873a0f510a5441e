// The scene grid on the scene table, its context menu and the keyboard
// delete, and the scene record saved after a confirmed "Set".
#include "console/form1.h"

#include <QAction>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableView>

#include "console/dialogs.h"
#include "console/spin_edit.h"
#include "scenes/scene_commands.h"
#include "scenes/scene_store.h"

namespace veltra {

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
      const QModelIndex current = DBGrid1->currentIndex();
      if (!current.isValid()) return;
      if (!dialogs_->Confirm(QStringLiteral("Delete record?"))) return;
      ADOTable1->Model()->removeRows(current.row(), 1);
    });
  });
}

void TForm1::SaveSceneFromWindow() {
  std::array<QString, 8> codes;
  for (std::size_t k = 0; k < codes.size(); ++k)
    codes[k] = QString::fromStdString(ChannelCode(channelLists[k]->currentIndex()));
  ADOTable1->SaveSceneRecord(SpinEdit4->Value(), SpinEdit5->Value(), codes);
}

void TForm1::Delete1Click() {
  if (!ADOTable1->DeleteCurrentScene()) dialogs_->Message(QStringLiteral("No records!"));
}

void TForm1::DeleteAll1Click() {
  if (!ADOTable1->DeleteAllScenes()) dialogs_->Message(QStringLiteral("No records!"));
}

}  // namespace veltra
