#include "scenes/scene_store_model.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

#include "scenes/scene_cell_rules.h"

namespace veltra {
namespace {

// Commits or rolls back a model edit that spans several statements.
class EditTransaction {
 public:
  explicit EditTransaction(const QSqlDatabase& db) : db_(db) {
    QSqlQuery begin(db_);
    ok_ = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!ok_) error_ = ErrorText(begin.lastError());
  }
  ~EditTransaction() { RollBack({}); }
  // Ends the transaction before a failure is reported, and hands the report
  // on: the report may run an event loop (a message box), and what runs
  // there must find neither a transaction open nor the file locked.
  QString RollBack(const QString& error) {
    if (ok_ && !done_) QSqlQuery(db_).exec(QStringLiteral("ROLLBACK"));
    done_ = true;
    return error;
  }
  bool Ok() const { return ok_; }
  QString Error() const { return error_; }
  bool Commit() {
    QSqlQuery commit(db_);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
      error_ = ErrorText(commit.lastError());
      return false;
    }
    done_ = true;
    return true;
  }

 private:
  QSqlDatabase db_;
  bool ok_ = false;
  bool done_ = false;
  QString error_;
};

}  // namespace

QString ErrorText(const QSqlError& error) {
  const QString text = error.databaseText();
  return text.isEmpty() ? error.text() : text;
}

QString QuoteIdentifier(const QString& name) {
  QString quoted = name;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

SceneTableModel::SceneTableModel(QObject* parent) : QAbstractTableModel(parent) {}

SceneTableModel::~SceneTableModel() = default;

bool SceneTableModel::Attach(const QString& connectionName, const QString& table,
                             QString* error) {
  Detach();
  QSqlDatabase db = QSqlDatabase::database(connectionName, false);
  QSqlQuery info(db);
  info.setForwardOnly(true);
  if (!info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(QuoteIdentifier(table)))) {
    *error = ErrorText(info.lastError());
    return false;
  }
  QStringList columns;
  std::vector<bool> readOnly;
  std::vector<int> keyColumns;
  while (info.next()) {
    columns << info.value(1).toString();
    readOnly.push_back(false);
    if (info.value(5).toInt() > 0 &&
        info.value(2).toString().compare(QStringLiteral("INTEGER"), Qt::CaseInsensitive) == 0) {
      keyColumns.push_back(int(columns.size()) - 1);
    }
  }
  info.finish();
  if (columns.isEmpty()) {
    *error = QStringLiteral("no such table: %1").arg(table);
    return false;
  }
  // A single INTEGER PRIMARY KEY column is the rowid itself: editing it would
  // move the record, so it is shown but not editable.
  if (keyColumns.size() == 1) readOnly[keyColumns.front()] = true;

  beginResetModel();
  connection_ = connectionName;
  table_ = table;
  columns_ = columns;
  read_only_columns_ = readOnly;
  rows_.clear();
  attached_ = true;
  endResetModel();
  if (!Reload(error)) {
    Detach();
    return false;
  }
  return true;
}

void SceneTableModel::Detach() {
  beginResetModel();
  row_query_.reset();
  attached_ = false;
  columns_.clear();
  read_only_columns_.clear();
  rows_.clear();
  connection_.clear();
  table_.clear();
  endResetModel();
}

bool SceneTableModel::ReadRow(QSqlQuery& query, Row* row) const {
  bool ok = false;
  row->key = query.value(0).toLongLong(&ok);
  row->values.resize(columns_.size());
  for (int c = 0; c < columns_.size(); ++c) row->values[c] = query.value(c + 1);
  return ok;
}

bool SceneTableModel::Reload(QString* error) {
  if (!attached_) {
    *error = QStringLiteral("Scene table is not open");
    return false;
  }
  QStringList quoted;
  for (const QString& name : columns_) quoted << QuoteIdentifier(name);
  QSqlQuery query(QSqlDatabase::database(connection_, false));
  query.setForwardOnly(true);
  if (!query.exec(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                      .arg(quoted.join(QStringLiteral(", ")), QuoteIdentifier(table_)))) {
    *error = ErrorText(query.lastError());
    return false;
  }
  std::vector<Row> rows;
  Row row;
  while (query.next()) {
    ReadRow(query, &row);
    rows.push_back(row);
  }
  if (query.lastError().isValid()) {
    *error = ErrorText(query.lastError());
    return false;
  }
  query.finish();
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
  return true;
}

bool SceneTableModel::RefreshKey(qint64 key, QString* error) {
  if (!attached_) {
    *error = QStringLiteral("Scene table is not open");
    return false;
  }
  if (!row_query_) {
    QStringList quoted;
    for (const QString& name : columns_) quoted << QuoteIdentifier(name);
    row_query_ = std::make_unique<QSqlQuery>(QSqlDatabase::database(connection_, false));
    row_query_->setForwardOnly(true);
    if (!row_query_->prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ?")
                                 .arg(quoted.join(QStringLiteral(", ")), QuoteIdentifier(table_)))) {
      *error = ErrorText(row_query_->lastError());
      row_query_.reset();
      return false;
    }
  }
  QSqlQuery& query = *row_query_;
  query.bindValue(0, key);
  if (!query.exec()) {
    *error = ErrorText(query.lastError());
    return false;
  }
  Row fresh;
  const bool found = query.next() && ReadRow(query, &fresh);
  query.finish();

  const int at = LowerBoundRow(key);
  const bool present = at < int(rows_.size()) && rows_[at].key == key;
  if (found && present) {
    rows_[at] = std::move(fresh);
    emit dataChanged(index(at, 0), index(at, int(columns_.size()) - 1));
  } else if (found) {
    beginInsertRows(QModelIndex(), at, at);
    rows_.insert(rows_.begin() + at, std::move(fresh));
    endInsertRows();
  } else if (present) {
    beginRemoveRows(QModelIndex(), at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
  }
  return true;
}

void SceneTableModel::RemoveKeys(const std::vector<qint64>& keys) {
  // Rows to drop, ascending like the keys.
  std::vector<int> doomed;
  for (qint64 key : keys) {
    const int row = RowOfKey(key);
    if (row >= 0) doomed.push_back(row);
  }
  if (doomed.empty()) return;
  // Contiguous runs, removed from the back so earlier rows keep their place.
  std::vector<std::pair<int, int>> runs;
  for (int r : doomed) {
    if (!runs.empty() && runs.back().second + 1 == r) {
      runs.back().second = r;
    } else {
      runs.emplace_back(r, r);
    }
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
    if (next < doomed.size() && int(r) == doomed[next]) {
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

int SceneTableModel::LowerBoundRow(qint64 key) const {
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), key,
                                   [](const Row& row, qint64 k) { return row.key < k; });
  return int(it - rows_.begin());
}

int SceneTableModel::RowOfKey(qint64 key) const {
  const int at = LowerBoundRow(key);
  return at < int(rows_.size()) && rows_[at].key == key ? at : -1;
}

qint64 SceneTableModel::KeyAt(int row) const {
  return row >= 0 && row < int(rows_.size()) ? rows_[row].key : -1;
}

int SceneTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_.size());
}

int SceneTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(columns_.size());
}

QVariant SceneTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(rows_.size()) || index.column() >= columns_.size()) {
    return {};
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const QVariant& value = rows_[index.row()].values[index.column()];
  return value.isNull() ? QVariant() : value;
}

QVariant SceneTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
      section < columns_.size()) {
    return columns_[section];
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags SceneTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags base = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() < int(read_only_columns_.size()) &&
      !read_only_columns_[index.column()]) {
    base |= Qt::ItemIsEditable;
  }
  return base;
}

bool SceneTableModel::Fail(const QString& message) {
  emit editFailed(message);
  return false;
}

bool SceneTableModel::Refused() {
  const QString refusal = write_guard_ ? write_guard_() : QString();
  return !refusal.isEmpty() && !Fail(refusal);
}

bool SceneTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !attached_ || !index.isValid() || index.row() >= int(rows_.size()) ||
      index.column() >= columns_.size() || read_only_columns_[index.column()]) {
    return false;
  }
  // A cell that the table's readers could not use is never stored.
  const SceneCellEdit edit = CheckSceneCellEdit(columns_[index.column()], value);
  if (!edit.accepted) return Fail(edit.reason);
  if (Refused()) return false;
  const qint64 key = rows_[index.row()].key;
  QSqlQuery update(QSqlDatabase::database(connection_, false));
  update.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                     .arg(QuoteIdentifier(table_), QuoteIdentifier(columns_[index.column()])));
  update.bindValue(0, edit.value);
  update.bindValue(1, key);
  if (!update.exec()) return Fail(ErrorText(update.lastError()));
  QString error;
  if (!RefreshKey(key, &error)) return Fail(error);
  return true;
}

bool SceneTableModel::insertRows(int row, int count, const QModelIndex& parent) {
  (void)row;
  if (parent.isValid() || count < 1 || !attached_ || Refused()) return false;
  const QSqlDatabase db = QSqlDatabase::database(connection_, false);
  EditTransaction tx(db);
  if (!tx.Ok()) return Fail(tx.Error());
  std::vector<qint64> added;
  QSqlQuery insert(db);
  for (int i = 0; i < count; ++i) {
    if (!insert.exec(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(QuoteIdentifier(table_)))) {
      return Fail(tx.RollBack(ErrorText(insert.lastError())));
    }
    added.push_back(insert.lastInsertId().toLongLong());
  }
  if (!tx.Commit()) return Fail(tx.RollBack(tx.Error()));
  QString error;
  for (qint64 key : added) {
    if (!RefreshKey(key, &error)) return Fail(error);
  }
  return true;
}

bool SceneTableModel::removeRows(int row, int count, const QModelIndex& parent) {
  if (parent.isValid() || count < 1 || row < 0 || row + count > int(rows_.size()) || !attached_) {
    return false;
  }
  if (Refused()) return false;
  const QSqlDatabase db = QSqlDatabase::database(connection_, false);
  EditTransaction tx(db);
  if (!tx.Ok()) return Fail(tx.Error());
  std::vector<qint64> keys;
  QSqlQuery remove(db);
  remove.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(QuoteIdentifier(table_)));
  for (int r = row; r < row + count; ++r) {
    remove.bindValue(0, rows_[r].key);
    if (!remove.exec()) return Fail(tx.RollBack(ErrorText(remove.lastError())));
    keys.push_back(rows_[r].key);
  }
  remove.finish();
  if (!tx.Commit()) return Fail(tx.RollBack(tx.Error()));
  RemoveKeys(keys);
  return true;
}

}  // namespace veltra
