#include "console/scene_page.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "console/control_builders.h"
#include "console/dialogs.h"
#include "console/scene_grid_view.h"
#include "console/spin_edit.h"
#include "protocol/scene_commands.h"
#include "scenes/scene_table_model.h"

namespace veltra {

using namespace ui;

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

ScenePage::ScenePage(const PageContext& context, SceneTableModel& scenes, QWidget* parent)
    : QWidget(parent), context_(context), scenes_(scenes) {
  Build();
  BuildMenu();
  BindGrid();
  Wire();
}

void ScenePage::Build() {
  auto* column = new QHBoxLayout(this);
  auto* group = MakeGroup("GroupBox3", QStringLiteral("Set Scene "));
  auto* grid = new QGridLayout(group);
  const RequestSpec& set = Request(RequestId::SetScene);
  address_ = MakeSpin("SpinEdit5", set.Field("ADDR"), 1);
  outputs_ = MakeSpin("SpinEdit6", 1, kChannelCount, 1);
  scene_ = MakeSpin("SpinEdit4", set.Field("SCENE"), set.Field("SCENE").min);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), address_);
  AddRow(grid, 1, 0, QStringLiteral("Outputs :"), outputs_);
  AddRow(grid, 2, 0, QStringLiteral("Scene No. :"), scene_);
  for (int k = 0; k < 8; ++k) {
    const QByteArray name = "ComboBox" + QByteArray::number(6 + k);
    QComboBox*& list = channels_[static_cast<std::size_t>(k)];
    list = MakeList(name.constData(), {"OFF", "ON", "No Change"}, "No Change");
    AddRow(grid, 3 + k % 4, (k / 4) * 2, QStringLiteral("CH%1 :").arg(k + 1), list);
  }
  set_ = MakeButton("Button7", QStringLiteral("&Set"));
  test_ = MakeButton("Button8", QStringLiteral("T&est"));
  clear_ = MakeButton("Button13", QStringLiteral("Cle&ar"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {set_, test_, clear_}) buttons->addWidget(b);
  grid->addLayout(buttons, 7, 0, 1, 4);
  grid->setRowStretch(8, 1);
  column->addWidget(group);

  auto* info = MakeGroup("GroupBox4", QStringLiteral("Scene Information"));
  auto* infoColumn = new QVBoxLayout(info);
  grid_ = new SceneGridView;
  grid_->setObjectName("DBGrid1");
  grid_->setAccessibleName(QStringLiteral("Scene Information"));
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Every column as wide as its title and cells, so all of them (CH1..CH8
  // and "ID") are in view together.
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  infoColumn->addWidget(grid_);
  column->addWidget(info, 1);
}

void ScenePage::BuildMenu() {
  auto* dataSource = new QObject(this);
  dataSource->setObjectName("DataSource1");
  menu_ = new QMenu(this);
  menu_->setObjectName("PopupMenu1");
  QAction* remove = menu_->addAction(QStringLiteral("Delete"));
  remove->setObjectName("Delete1");
  QAction* removeAll = menu_->addAction(QStringLiteral("Delete All"));
  removeAll->setObjectName("DeleteAll1");
  connect(grid_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->popup(grid_->viewport()->mapToGlobal(at)); });
  connect(remove, &QAction::triggered, this, [this] { RunGuarded(context_.dialogs, [this] { DeleteCurrent(); }); });
  connect(removeAll, &QAction::triggered, this, [this] { RunGuarded(context_.dialogs, [this] { DeleteAll(); }); });
}

void ScenePage::BindGrid() {
  grid_->setModel(&scenes_);
  // The grid follows the current record, and a row picked in the grid
  // becomes the current record.
  connect(&scenes_, &SceneTableModel::currentRowChanged, this, [this](int row) {
    if (followingCurrentRow_) return;
    followingCurrentRow_ = true;
    if (row >= 0) {
      grid_->selectRow(row);
      grid_->scrollTo(scenes_.index(row, 0));
    } else {
      grid_->clearSelection();
    }
    followingCurrentRow_ = false;
  });
  connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
    if (followingCurrentRow_ || !current.isValid()) return;
    followingCurrentRow_ = true;
    scenes_.SetCurrentRow(current.row());
    followingCurrentRow_ = false;
  });
  connect(&scenes_, &SceneTableModel::editFailed, this,
          [this](const QString& message) { context_.dialogs.ShowError(message); });
  // Deleting a row from the keyboard asks first.
  auto* deleteRow = new QAction(grid_);
  deleteRow->setObjectName("GridDeleteRow");
  deleteRow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
  deleteRow->setShortcutContext(Qt::WidgetShortcut);
  grid_->addAction(deleteRow);
  connect(deleteRow, &QAction::triggered, this, [this] {
    RunGuarded(context_.dialogs, [this] {
      // Replies handled while the question is open may add or remove rows:
      // the record asked about is followed, and is left alone when it went.
      const QPersistentModelIndex current = grid_->currentIndex();
      if (!current.isValid()) return;
      if (!context_.dialogs.Confirm(QStringLiteral("Delete record?")) || !current.isValid()) return;
      scenes_.removeRows(current.row(), 1);
    });
  });
  // Records added by hand. One left untouched goes again when the focus
  // leaves the grid or another row becomes current.
  appendRow_ = new QAction(grid_);
  appendRow_->setObjectName("GridAppendRow");
  appendRow_->setShortcut(QKeySequence(Qt::Key_Insert));
  appendRow_->setShortcutContext(Qt::WidgetShortcut);
  grid_->addAction(appendRow_);
  grid_->installEventFilter(new GridDownKey(grid_, appendRow_));
  connect(appendRow_, &QAction::triggered, this, [this] { RunGuarded(context_.dialogs, [this] { AppendRow(); }); });
  connect(&scenes_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
            if (newRow_.isValid() && newRow_.row() >= topLeft.row() && newRow_.row() <= bottomRight.row())
              newRow_ = QPersistentModelIndex();
          });
  connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
    if (newRow_.isValid() && current.row() != newRow_.row())
      QMetaObject::invokeMethod(this, &ScenePage::DropUntouchedRow, Qt::QueuedConnection);
  });
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (!newRow_.isValid() || !now || now->window() != window()) return;
    if (now != grid_ && !grid_->isAncestorOf(now)) DropUntouchedRow();
  });
}

void ScenePage::Wire() {
  const PageContext& c = context_;
  // What a confirmation changes in the table comes from what was sent, not
  // from the fields as they are when it arrives.
  c.WireRequest(set_, [this] {
    RequestValues values = PageContext::Read(RequestId::SetScene, {{"ADDR", address_}, {"SCENE", scene_}});
    std::array<int, kChannelCount> lists{};
    for (std::size_t k = 0; k < lists.size(); ++k) lists[k] = channels_[k]->currentIndex();
    values.channelItems.assign(lists.begin(), lists.begin() + outputs_->Value());
    context_.Send(RequestId::SetScene, std::move(values),
                  [this, lists](const ExchangeResult& result) { StoreSentScene(result, lists); });
  });
  c.WireRequest(test_, [this] {
    context_.Send(RequestId::TestScene,
                  PageContext::Read(RequestId::TestScene, {{"ADDR", address_}, {"SCENE", scene_}}));
  });
  c.WireRequest(clear_, [this] {
    context_.Send(RequestId::ClearScene,
                  PageContext::Read(RequestId::ClearScene, {{"ADDR", address_}, {"SCENE", scene_}}),
                  [this](const ExchangeResult& result) {
                    if (result.outcome == ExchangeOutcome::Answered &&
                        result.decoded.effect == ReplyEffect::DeleteModuleScenes)
                      scenes_.DeleteModuleScenes(result.request.values["ADDR"]);
                  });
  });
}

void ScenePage::StoreSentScene(const ExchangeResult& result, const std::array<int, 8>& lists) {
  if (result.outcome != ExchangeOutcome::Answered || result.decoded.effect != ReplyEffect::SaveScene) return;
  const RequestValues& sent = result.request.values;
  std::array<QString, 8> codes;
  for (std::size_t k = 0; k < codes.size(); ++k) {
    const int item = k < sent.channelItems.size() ? sent.channelItems[k] : lists[k];
    codes[k] = QString::fromStdString(ChannelCode(item));
  }
  scenes_.SaveSceneRecord(sent["SCENE"], sent["ADDR"], codes);
}

void ScenePage::AppendRow() {
  if (!newRow_.isValid()) {
    if (scenes_.columnCount() == 0) return;  // no table
    int added = -1;
    const auto watch = connect(&scenes_, &QAbstractItemModel::rowsInserted, this,
                               [&added](const QModelIndex&, int first, int) { added = first; });
    const bool inserted = scenes_.insertRows(scenes_.rowCount(), 1);  // a refusal comes as editFailed
    disconnect(watch);
    if (!inserted || added < 0) return;
    newRow_ = QPersistentModelIndex(scenes_.index(added, 0));
  }
  grid_->setCurrentIndex(scenes_.index(newRow_.row(), std::max(0, grid_->currentIndex().column())));
}

void ScenePage::DropUntouchedRow() {
  if (!newRow_.isValid()) return;
  const int row = newRow_.row();
  newRow_ = QPersistentModelIndex();
  scenes_.removeRows(row, 1);
}

void ScenePage::DeleteCurrent() {
  if (!scenes_.DeleteCurrentScene()) context_.dialogs.Message(QStringLiteral("No records!"));
}

void ScenePage::DeleteAll() {
  // Asked first, with No the default: the whole table goes.
  const int records = scenes_.RecordCount();
  if (records > 0 && !context_.dialogs.Confirm(QStringLiteral("Delete all %1 scene records?").arg(records))) return;
  if (!scenes_.DeleteAllScenes()) context_.dialogs.Message(QStringLiteral("No records!"));
}

}  // namespace veltra
