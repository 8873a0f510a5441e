#include "scenes/scene_table_model.h"

#include <QFile>
#include <algorithm>

#include "scenes/scene_cell_rules.h"

namespace veltra {
namespace {

QVariant ToVariant(const SceneValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return QVariant::fromValue<qlonglong>(*number);
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* text = std::get_if<std::string>(&value)) return QString::fromStdString(*text);
  return {};
}

SceneValue ToSceneValue(const QVariant& value) {
  if (value.isNull()) return std::monostate{};
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
      return static_cast<std::int64_t>(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
      return value.toDouble();
    default:
      return value.toString().toStdString();
  }
}

}  // namespace

SceneTableModel::SceneTableModel(SceneRepository& repository, QObject* parent)
    : QAbstractTableModel(parent), repository_(repository) {
  // Records added or removed by hand in the grid keep the current record valid.
  connect(this, &QAbstractItemModel::rowsRemoved, this, [this] { Notify(); });
  connect(this, &QAbstractItemModel::rowsInserted, this, [this] { Notify(); });
  // A reset drops the grid's selection: tell it the current row even when
  // that row has not moved.
  connect(this, &QAbstractItemModel::modelReset, this, [this] {
    notifiedRow_ = -2;
    Notify();
  });
}

SceneTableModel::~SceneTableModel() { blockSignals(true); }

bool SceneTableModel::OpenSceneTable(const QString& folder) {
  return OpenSceneFile(folder + QLatin1String(kSceneDatabaseFile));
}

bool SceneTableModel::OpenSceneFile(const QString& path) {
  currentKey_ = -1;
  beginResetModel();
  rows_.clear();
  bool opened = repository_.Open(QFile::encodeName(path).toStdString());
  openError_ = QString::fromStdString(repository_.OpenError());
  if (opened) {
    try {
      rows_ = repository_.ReadAll();
    } catch (const SceneStoreError& error) {
      // Opened, but its records cannot be read (a damaged file).
      openError_ = QString::fromStdString(error.what());
      repository_.Close();
      opened = false;
    }
  }
  endResetModel();
  if (!opened) return false;
  currentKey_ = KeyAt(RecordCount() - 1);
  Notify();
  return true;
}

QString SceneTableModel::FilePath() const { return QFile::decodeName(repository_.Path().c_str()); }

void SceneTableModel::Reload() {
  std::vector<SceneRow> rows;
  if (repository_.IsOpen()) rows = repository_.ReadAll();
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void SceneTableModel::SaveSceneRecord(int sceneNo, int moduleAddr, const std::array<QString, 8>& channelCodes) {
  SceneCodes codes;
  for (std::size_t k = 0; k < codes.size(); ++k) codes[k] = channelCodes[k].toStdString();
  const std::int64_t key = repository_.SaveScene(sceneNo, moduleAddr, codes);
  currentKey_ = key;
  // The write is stored; should the single-record read fail, read it all.
  try {
    RefreshKey(key);
  } catch (const SceneStoreError&) {
    try {
      Reload();
    } catch (const SceneStoreError&) {
    }
  }
  Notify();
}

void SceneTableModel::DeleteModuleScenes(int moduleAddr) {
  RemoveKeys(repository_.DeleteModule(moduleAddr));
  Notify();
}

bool SceneTableModel::DeleteCurrentScene() {
  if (!repository_.IsOpen()) throw SceneStoreError(kSceneTableClosed);
  if (const std::string changed = repository_.FileChanged(); !changed.empty()) throw SceneStoreError(changed);
  const int row = CurrentRow();
  if (row < 0) return false;
  const std::int64_t key = KeyAt(row);
  repository_.Delete({key});
  RemoveKeys({key});
  Notify();
  return true;
}

bool SceneTableModel::DeleteAllScenes() {
  if (!repository_.HasRecords()) {
    Clear();
    return false;
  }
  repository_.DeleteAll();
  currentKey_ = -1;
  Clear();
  Notify();
  return true;
}

int SceneTableModel::CurrentRow() const {
  const int rows = RecordCount();
  if (!repository_.IsOpen() || rows == 0) return -1;
  // A current record that has gone is followed by the next one, or by the
  // last one when it was the last.
  return std::min(LowerBoundRow(currentKey_), rows - 1);
}

void SceneTableModel::SetCurrentRow(int row) {
  if (!repository_.IsOpen() || row < 0 || row >= RecordCount()) return;
  currentKey_ = KeyAt(row);
  Notify();
}

void SceneTableModel::Refresh() {
  if (!repository_.IsOpen()) throw SceneStoreError(kSceneTableClosed);
  Reload();
  Notify();
}

void SceneTableModel::Notify() {
  const int row = CurrentRow();
  currentKey_ = KeyAt(row);
  if (row == notifiedRow_ && currentKey_ == notifiedKey_) return;
  notifiedRow_ = row;
  notifiedKey_ = currentKey_;
  emit currentRowChanged(row);
}

void SceneTableModel::RefreshKey(std::int64_t key) {
  std::optional<SceneRow> fresh = repository_.Read(key);
  const int at = LowerBoundRow(key);
  const bool present = at < RecordCount() && rows_[static_cast<std::size_t>(at)].key == key;
  if (fresh && present) {
    rows_[static_cast<std::size_t>(at)] = std::move(*fresh);
    emit dataChanged(index(at, 0), index(at, columnCount() - 1));
  } else if (fresh) {
    beginInsertRows(QModelIndex(), at, at);
    rows_.insert(rows_.begin() + at, std::move(*fresh));
    endInsertRows();
  } else if (present) {
    beginRemoveRows(QModelIndex(), at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
  }
}

void SceneTableModel::RemoveKeys(const std::vector<std::int64_t>& keys) {
  // Rows to drop, ascending like the keys.
  std::vector<int> doomed;
  for (const std::int64_t key : keys) {
    const int row = RowOfKey(key);
    if (row >= 0) doomed.push_back(row);
  }
  if (doomed.empty()) return;
  // Contiguous runs, removed from the back so earlier rows keep their place.
  std::vector<std::pair<int, int>> runs;
  for (const int r : doomed) {
    if (!runs.empty() && runs.back().second + 1 == r)
      runs.back().second = r;
    else
      runs.emplace_back(r, r);
  }
  if (runs.size() <= 8) {
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
      beginRemoveRows(QModelIndex(), run->first, run->second);
      rows_.erase(rows_.begin() + run->first, rows_.begin() + run->second + 1);
      endRemoveRows();
    }
    return;
  }
  // Many scattered rows: one pass and a reset beats a signal per run.
  beginResetModel();
  std::size_t next = 0;
  std::size_t out = 0;
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    if (next < doomed.size() && static_cast<int>(r) == doomed[next]) {
      ++next;
      continue;
    }
    if (out != r) rows_[out] = std::move(rows_[r]);
    ++out;
  }
  rows_.resize(out);
  endResetModel();
}

void SceneTableModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

int SceneTableModel::LowerBoundRow(std::int64_t key) const {
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), key,
                                   [](const SceneRow& row, std::int64_t k) { return row.key < k; });
  return static_cast<int>(it - rows_.begin());
}

int SceneTableModel::RowOfKey(std::int64_t key) const {
  const int at = LowerBoundRow(key);
  return at < RecordCount() && rows_[static_cast<std::size_t>(at)].key == key ? at : -1;
}

std::int64_t SceneTableModel::KeyAt(int row) const {
  return row >= 0 && row < RecordCount() ? rows_[static_cast<std::size_t>(row)].key : -1;
}

int SceneTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RecordCount(); }

int SceneTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(repository_.Columns().size());
}

QVariant SceneTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RecordCount() || index.column() >= columnCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const auto& cells = rows_[static_cast<std::size_t>(index.row())].cells;
  const auto column = static_cast<std::size_t>(index.column());
  return column < cells.size() ? ToVariant(cells[column]) : QVariant();
}

QVariant SceneTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 && section < columnCount())
    return QString::fromStdString(repository_.Columns()[static_cast<std::size_t>(section)].name);
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags SceneTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags base = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() < columnCount() &&
      !repository_.Columns()[static_cast<std::size_t>(index.column())].key)
    base |= Qt::ItemIsEditable;
  return base;
}

bool SceneTableModel::Fail(const QString& message) {
  emit editFailed(message);
  return false;
}

bool SceneTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !IsOpen() || !index.isValid() || index.row() >= RecordCount() ||
      index.column() >= columnCount())
    return false;
  const SceneColumn& column = repository_.Columns()[static_cast<std::size_t>(index.column())];
  if (column.key) return false;
  // A cell that the table's readers could not use is never stored.
  const SceneCellEdit edit = CheckSceneCellEdit(QString::fromStdString(column.name), value);
  if (!edit.accepted) return Fail(edit.reason);
  const std::int64_t key = KeyAt(index.row());
  try {
    repository_.SetCell(key, static_cast<std::size_t>(index.column()), ToSceneValue(edit.value));
    RefreshKey(key);
  } catch (const SceneStoreError& error) {
    return Fail(QString::fromStdString(error.what()));
  }
  return true;
}

bool SceneTableModel::insertRows(int, int count, const QModelIndex& parent) {
  if (parent.isValid() || count < 1 || !IsOpen()) return false;
  try {
    // The transaction is over before the refusal is told: its report may run
    // an event loop (a message box), where another write must find neither a
    // transaction open nor the file locked.
    for (const std::int64_t key : repository_.AppendEmpty(count)) RefreshKey(key);
  } catch (const SceneStoreError& error) {
    return Fail(QString::fromStdString(error.what()));
  }
  return true;
}

bool SceneTableModel::removeRows(int row, int count, const QModelIndex& parent) {
  if (parent.isValid() || count < 1 || row < 0 || row + count > RecordCount() || !IsOpen()) return false;
  std::vector<std::int64_t> keys;
  for (int r = row; r < row + count; ++r) keys.push_back(KeyAt(r));
  try {
    repository_.Delete(keys);
  } catch (const SceneStoreError& error) {
    return Fail(QString::fromStdString(error.what()));
  }
  RemoveKeys(keys);
  return true;
}

}  // namespace veltra
