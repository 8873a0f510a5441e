#include "scenes/scene_store.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <atomic>
#include <map>
#include <sys/stat.h>

#include "scenes/scene_store_model.h"

namespace veltra {
namespace {

// The main thread waits this long for another connection's lock before a
// write gives up with "database is locked".
constexpr int kBusyTimeoutMs = 500;

[[noreturn]] void Throw(const QString& message) {
  throw SceneStoreError(message.toStdString());
}

void Run(QSqlQuery& query) {
  if (!query.exec()) Throw(ErrorText(query.lastError()));
}

QString NextConnectionName() {
  static std::atomic<int> counter{0};
  return QStringLiteral("veltra_scene_store_%1").arg(++counter);
}

const QString& Table() {
  static const QString quoted = QuoteIdentifier(QString::fromLatin1(kSceneTableName));
  return quoted;
}

enum StatementId {
  kBegin,
  kCommit,
  kRollback,
  kFindRecord,
  kUpdateRecord,
  kAppendRecord,
  kModuleKeys,
  kDeleteModule,
  kDeleteKey,
  kAnyRecord,
  kDeleteAll,
  kProbeWrite,
};

QString StatementText(StatementId id) {
  const QString t = Table();
  const QString channels = QStringLiteral(R"("CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7", "CH8")");
  switch (id) {
    case kBegin: return QStringLiteral("BEGIN IMMEDIATE");
    case kCommit: return QStringLiteral("COMMIT");
    case kRollback: return QStringLiteral("ROLLBACK");
    case kFindRecord:
      return QStringLiteral(R"(SELECT rowid FROM %1 WHERE "Scene No" = ? AND "Module Addr" = ? )"
                            "ORDER BY rowid LIMIT 1").arg(t);
    case kUpdateRecord:
      return QStringLiteral(R"(UPDATE %1 SET "CH1" = ?, "CH2" = ?, "CH3" = ?, "CH4" = ?, )"
                            R"("CH5" = ?, "CH6" = ?, "CH7" = ?, "CH8" = ? WHERE rowid = ?)").arg(t);
    case kAppendRecord:
      return QStringLiteral(R"(INSERT INTO %1 ("Scene No", "Module Addr", %2) )"
                            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(t, channels);
    case kModuleKeys:
      return QStringLiteral(R"(SELECT rowid FROM %1 WHERE "Module Addr" = ? ORDER BY rowid)").arg(t);
    case kDeleteModule:
      return QStringLiteral(R"(DELETE FROM %1 WHERE "Module Addr" = ?)").arg(t);
    case kDeleteKey: return QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(t);
    case kAnyRecord: return QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1)").arg(t);
    case kDeleteAll: return QStringLiteral("DELETE FROM %1").arg(t);
    // A write that changes nothing: refused as any write is (read-only file).
    case kProbeWrite: return QStringLiteral("UPDATE %1 SET rowid = rowid WHERE 0").arg(t);
  }
  return {};
}

}  // namespace

// Statements prepared on first use and kept for the life of the connection.
// A statement that does not prepare (a missing column) raises the database's
// error when the operation that needs it runs, not when the table opens.
struct SceneStore::Statements {
  explicit Statements(const QSqlDatabase& database) : db(database) {}

  QSqlQuery& Get(StatementId id) {
    auto found = prepared.find(id);
    if (found != prepared.end()) return *found->second;
    auto query = std::make_unique<QSqlQuery>(db);
    query->setForwardOnly(true);
    if (!query->prepare(StatementText(id))) Throw(ErrorText(query->lastError()));
    return *prepared.emplace(id, std::move(query)).first->second;
  }

  QSqlDatabase db;
  std::map<StatementId, std::unique_ptr<QSqlQuery>> prepared;
};

namespace {

// One operation = one write transaction. BEGIN IMMEDIATE takes the write
// lock up front, so a table locked by another connection fails before
// anything is read or written.
template <typename Statements>
class WriteTransaction {
 public:
  explicit WriteTransaction(Statements& statements) : statements_(statements) {
    // Prepared before BEGIN, so the destructor only runs a ready statement
    // and cannot throw while an error is already on its way out.
    statements_.Get(kRollback);
    Run(statements_.Get(kBegin));
  }
  ~WriteTransaction() {
    if (!committed_) statements_.Get(kRollback).exec();
  }
  void Commit() {
    Run(statements_.Get(kCommit));
    committed_ = true;
  }

 private:
  Statements& statements_;
  bool committed_ = false;
};

}  // namespace

QString SceneConnectionString(const QString& folder) {
  return SceneFileConnectionString(folder + QLatin1String(kSceneDatabaseFile));
}

QString SceneFileConnectionString(const QString& path) {
  return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
         QStringLiteral(";Persist Security Info=False");
}

QString DataSourceOf(const QString& connectionString) {
  static const QString key = QStringLiteral("Data Source=");
  static const QString next = QStringLiteral(";Persist Security Info=");
  int start = -1;
  for (int at = connectionString.indexOf(key, 0, Qt::CaseInsensitive); at >= 0;
       at = connectionString.indexOf(key, at + 1, Qt::CaseInsensitive)) {
    if (at == 0 || connectionString.at(at - 1) == QLatin1Char(';')) {
      start = at + int(key.size());
      break;
    }
  }
  if (start < 0) return {};
  int end = connectionString.lastIndexOf(next, -1, Qt::CaseInsensitive);
  if (end < start) end = connectionString.indexOf(QLatin1Char(';'), start);
  if (end < 0) end = int(connectionString.size());
  return connectionString.mid(start, end - start).trimmed();
}

QString SqliteUri(const QString& absolutePath, bool readOnly) {
  QString path = absolutePath;
  path.replace(QLatin1Char('%'), QStringLiteral("%25"));
  path.replace(QLatin1Char('?'), QStringLiteral("%3F"));
  path.replace(QLatin1Char('#'), QStringLiteral("%23"));
  return QStringLiteral("file:") + path +
         (readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw"));
}

SceneStore::SceneStore(QObject* parent)
    : QObject(parent), connection_name_(NextConnectionName()), model_(new SceneTableModel(this)) {
  connect(model_, &SceneTableModel::editFailed, this, &SceneStore::editFailed);
  model_->SetWriteGuard([this] { return FileChangedError(); });
  // Records added or removed by hand in the grid keep the current record valid.
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { Notify(); });
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { Notify(); });
  // A reset drops the grid's selection: tell it the current row even when
  // that row has not moved.
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    notified_row_ = -2;
    Notify();
  });
}

SceneStore::~SceneStore() {
  blockSignals(true);
  Close();
}

void SceneStore::Close() {
  open_ = false;
  read_only_ = false;
  current_key_ = -1;
  model_->Detach();
  statements_.reset();
  if (QSqlDatabase::contains(connection_name_)) {
    QSqlDatabase::database(connection_name_, false).close();
    QSqlDatabase::removeDatabase(connection_name_);
  }
  Notify();
}

bool SceneStore::OpenSceneTable(const QString& folder) {
  return OpenSceneFile(folder + QLatin1String(kSceneDatabaseFile));
}

bool SceneStore::OpenSceneFile(const QString& databasePath) {
  Close();
  connection_string_ = SceneFileConnectionString(databasePath);
  open_error_.clear();
  const auto fail = [this](const QString& message) {
    Close();
    open_error_ = message;
    return false;
  };

  const QString path = DataSourceOf(connection_string_);
  if (path.isEmpty()) return fail(QStringLiteral("No data source in the connection string"));
  const QFileInfo info(path);
  if (!info.exists()) return fail(QStringLiteral("Database file not found: %1").arg(path));
  if (!info.isFile()) return fail(QStringLiteral("Not a database file: %1").arg(path));
  // A file without any write bit stays unwritten, even for root (who would
  // otherwise write it regardless of its mode).
  struct stat st {};
  file_path_ = QFile::encodeName(info.absoluteFilePath());
  if (::stat(file_path_.constData(), &st) != 0) {
    return fail(QStringLiteral("Database file not found: %1").arg(path));
  }
  read_only_ = (st.st_mode & 0222) == 0;
  file_device_ = st.st_dev;
  file_inode_ = st.st_ino;

  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_name_);
    if (!db.isValid()) return fail(QStringLiteral("The SQLite driver of Qt SQL is missing"));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    db.setDatabaseName(SqliteUri(info.absoluteFilePath(), read_only_));
    if (!db.open()) return fail(ErrorText(db.lastError()));
    statements_ = std::make_unique<Statements>(db);
  }
  QString error;
  if (!model_->Attach(connection_name_, QString::fromLatin1(kSceneTableName), &error)) {
    return fail(error);
  }
  open_ = true;
  current_key_ = model_->KeyAt(model_->rowCount() - 1);
  Notify();
  return true;
}

bool SceneStore::IsOpen() const { return open_; }

QString SceneStore::ConnectionString() const { return connection_string_; }

QString SceneStore::OpenError() const { return open_error_; }

void SceneStore::RequireOpen() const {
  if (!open_) Throw(QString::fromLatin1(kSceneTableClosed));
}

QString SceneStore::FileChangedError() const {
  struct stat st {};
  if (::stat(file_path_.constData(), &st) == 0 && st.st_dev == file_device_ && st.st_ino == file_inode_) return {};
  return QString::fromLatin1(kSceneFileChanged).arg(QFile::decodeName(file_path_));
}

void SceneStore::RequireWritableFile() const {
  RequireOpen();
  const QString changed = FileChangedError();
  if (!changed.isEmpty()) Throw(changed);
}

void SceneStore::CheckWritable() {
  RequireWritableFile();
  QSqlQuery& probe = statements_->Get(kProbeWrite);
  WriteTransaction tx(*statements_);
  Run(probe);
}

void SceneStore::SaveSceneRecord(int sceneNo, int moduleAddr,
                                 const std::array<QString, 8>& channelCodes) {
  RequireWritableFile();
  Statements& s = *statements_;
  QSqlQuery& find = s.Get(kFindRecord);
  QSqlQuery& update = s.Get(kUpdateRecord);
  QSqlQuery& append = s.Get(kAppendRecord);

  WriteTransaction tx(s);
  find.bindValue(0, sceneNo);
  find.bindValue(1, moduleAddr);
  Run(find);
  qint64 key = -1;
  if (find.next()) {
    key = find.value(0).toLongLong();
  } else if (find.lastError().isValid()) {
    Throw(ErrorText(find.lastError()));
  }
  find.finish();

  // A null QString would be stored as NULL; the codes are always text.
  const auto code = [&](int k) {
    return channelCodes[k].isNull() ? QString(QLatin1String("")) : channelCodes[k];
  };
  if (key >= 0) {
    for (int k = 0; k < 8; ++k) update.bindValue(k, code(k));
    update.bindValue(8, key);
    Run(update);
  } else {
    append.bindValue(0, sceneNo);
    append.bindValue(1, moduleAddr);
    for (int k = 0; k < 8; ++k) append.bindValue(2 + k, code(k));
    Run(append);
    key = append.lastInsertId().toLongLong();
  }
  tx.Commit();

  current_key_ = key;
  QString error;
  // The write is stored; should the single-record read fail, re-read it all.
  if (!model_->RefreshKey(key, &error)) model_->Reload(&error);
  Notify();
}

void SceneStore::DeleteModuleScenes(int moduleAddr) {
  RequireWritableFile();
  Statements& s = *statements_;
  QSqlQuery& keysOf = s.Get(kModuleKeys);
  QSqlQuery& remove = s.Get(kDeleteModule);

  WriteTransaction tx(s);
  keysOf.bindValue(0, moduleAddr);
  Run(keysOf);
  std::vector<qint64> keys;
  while (keysOf.next()) keys.push_back(keysOf.value(0).toLongLong());
  if (keysOf.lastError().isValid()) Throw(ErrorText(keysOf.lastError()));
  keysOf.finish();
  remove.bindValue(0, moduleAddr);
  Run(remove);
  tx.Commit();

  model_->RemoveKeys(keys);
  Notify();
}

bool SceneStore::DeleteCurrentScene() {
  RequireWritableFile();
  const int row = CurrentRow();
  if (row < 0) return false;
  const qint64 key = model_->KeyAt(row);
  Statements& s = *statements_;
  QSqlQuery& remove = s.Get(kDeleteKey);

  WriteTransaction tx(s);
  remove.bindValue(0, key);
  Run(remove);
  tx.Commit();

  model_->RemoveKeys({key});
  Notify();
  return true;
}

bool SceneStore::DeleteAllScenes() {
  RequireOpen();
  Statements& s = *statements_;
  QSqlQuery& any = s.Get(kAnyRecord);
  QSqlQuery& removeAll = s.Get(kDeleteAll);

  // The empty check reads only, so a read-only table still says "No records!".
  Run(any);
  const bool hasRecords = any.next() && any.value(0).toInt() != 0;
  const QSqlError readError = any.lastError();
  any.finish();
  if (readError.isValid()) Throw(ErrorText(readError));
  if (!hasRecords) {
    model_->Clear();
    return false;
  }

  RequireWritableFile();
  WriteTransaction tx(s);
  Run(removeAll);
  tx.Commit();

  current_key_ = -1;
  model_->Clear();
  Notify();
  return true;
}

int SceneStore::CurrentRow() const {
  const int rows = model_->rowCount();
  if (!open_ || rows == 0) return -1;
  // A current record that has gone is followed by the next one, or by the
  // last one when it was the last.
  return std::min(model_->LowerBoundRow(current_key_), rows - 1);
}

void SceneStore::SetCurrentRow(int row) {
  if (!open_ || row < 0 || row >= model_->rowCount()) return;
  current_key_ = model_->KeyAt(row);
  Notify();
}

QAbstractItemModel* SceneStore::Model() const { return model_; }

void SceneStore::Refresh() {
  RequireOpen();
  QString error;
  if (!model_->Reload(&error)) Throw(error);
  Notify();
}

void SceneStore::Notify() {
  const int row = CurrentRow();
  current_key_ = model_->KeyAt(row);
  if (row == notified_row_ && current_key_ == notified_key_) return;
  notified_row_ = row;
  notified_key_ = current_key_;
  emit currentRowChanged(row);
}

}  // namespace veltra
