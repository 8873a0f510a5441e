#include "scenes/scene_repository.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>

namespace veltra {
namespace {

// The main thread waits this long for another connection's lock before a
// write gives up with "database is locked".
constexpr int kBusyTimeoutMs = 500;

// "name" with inner quotes doubled.
std::string Quote(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

const std::string& Table() {
  static const std::string quoted = Quote(kSceneTableName);
  return quoted;
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  char here[PATH_MAX];
  return ::getcwd(here, sizeof here) ? std::string(here) + '/' + path : path;
}

}  // namespace

std::string SceneFileChangedText(const std::string& path) {
  return "The scene database " + path + " was deleted or replaced while the program ran; nothing was written";
}

// A prepared statement. Each use starts from a reset statement and resets it
// again when done (Use()), so no read stays open between operations.
class SceneRepository::Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      const std::string error = sqlite3_errmsg(db);
      sqlite3_finalize(stmt_);
      throw SceneStoreError(error);
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  class InUse {
   public:
    explicit InUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~InUse() {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;

   private:
    sqlite3_stmt* stmt_;
  };
  [[nodiscard]] InUse Use() {
    sqlite3_reset(stmt_);
    return InUse(stmt_);
  }

  void Bind(int at, const SceneValue& value) {
    int rc = SQLITE_OK;
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
      rc = sqlite3_bind_int64(stmt_, at, *number);
    } else if (const auto* real = std::get_if<double>(&value)) {
      rc = sqlite3_bind_double(stmt_, at, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      rc = sqlite3_bind_text(stmt_, at, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else {
      rc = sqlite3_bind_null(stmt_, at);
    }
    if (rc != SQLITE_OK) throw SceneStoreError(sqlite3_errmsg(db_));
  }
  // True with a row to read, false when the statement is done.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SceneStoreError(sqlite3_errmsg(db_));
  }
  void Run() {
    while (Step()) {
    }
  }
  // Runs without throwing; for the rollback on the way out of an error.
  void RunQuietly() {
    while (sqlite3_step(stmt_) == SQLITE_ROW) {
    }
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
  }
  SceneValue Value(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
      case SQLITE_INTEGER: return Int(column);
      case SQLITE_FLOAT: return sqlite3_column_double(stmt_, column);
      case SQLITE_NULL: return std::monostate{};
      default: return Text(column);  // text, and the bytes of a blob
    }
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// One operation = one write transaction. BEGIN IMMEDIATE takes the write
// lock up front, so a table locked by another connection fails before
// anything is read or written. The rollback is prepared before BEGIN, so the
// destructor only runs a ready statement and cannot throw while an error is
// already on its way out.
class SceneRepository::Transaction {
 public:
  explicit Transaction(SceneRepository& repository)
      : repository_(repository), rollback_(repository.Get("ROLLBACK")) {
    Statement& begin = repository_.Get("BEGIN IMMEDIATE");
    const auto use = begin.Use();
    begin.Run();
  }
  ~Transaction() {
    if (committed_) return;
    const auto use = rollback_.Use();
    rollback_.RunQuietly();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    Statement& commit = repository_.Get("COMMIT");
    const auto use = commit.Use();
    commit.Run();
    committed_ = true;
  }

 private:
  SceneRepository& repository_;
  Statement& rollback_;
  bool committed_ = false;
};

SceneRepository::SceneRepository() = default;

SceneRepository::~SceneRepository() { Close(); }

void SceneRepository::Close() {
  statements_.clear();
  columns_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  readOnly_ = false;
}

SceneRepository::Statement& SceneRepository::Get(const std::string& sql) {
  RequireOpen();
  auto found = statements_.find(sql);
  if (found != statements_.end()) return *found->second;
  auto statement = std::make_unique<Statement>(db_, sql);
  return *statements_.emplace(sql, std::move(statement)).first->second;
}

bool SceneRepository::Open(const std::string& path) {
  Close();
  path_ = path;
  openError_.clear();
  const auto fail = [this](const std::string& message) {
    Close();
    openError_ = message;
    return false;
  };
  if (path.empty()) return fail("No scene database file given");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail("Database file not found: " + path);
  if (!S_ISREG(st.st_mode)) return fail("Not a database file: " + path);
  // A file without any write bit stays unwritten, even for root (who would
  // otherwise write it regardless of its mode).
  readOnly_ = (st.st_mode & 0222) == 0;
  fileDevice_ = st.st_dev;
  fileInode_ = st.st_ino;

  // A plain file name (no URI), opened as it is: never created.
  sqlite3* db = nullptr;
  const int flags = readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    return fail(error);
  }
  db_ = db;
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  try {
    Statement& info = Get("PRAGMA table_info(" + Table() + ")");
    const auto use = info.Use();
    std::vector<std::size_t> integerKeys;
    while (info.Step()) {
      SceneColumn column;
      column.name = info.Text(1);
      std::string type = info.Text(2);
      for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (info.Int(5) > 0 && type == "INTEGER") integerKeys.push_back(columns_.size());
      columns_.push_back(std::move(column));
    }
    // A single INTEGER PRIMARY KEY column is the rowid itself: writing it
    // would move the record.
    if (integerKeys.size() == 1) columns_[integerKeys.front()].key = true;
  } catch (const SceneStoreError& error) {
    return fail(error.what());
  }
  if (columns_.empty()) return fail(std::string("no such table: ") + kSceneTableName);
  return true;
}

int SceneRepository::ColumnOf(std::string_view name) const {
  for (std::size_t c = 0; c < columns_.size(); ++c)
    if (columns_[c].name == name) return static_cast<int>(c);
  return -1;
}

void SceneRepository::RequireOpen() const {
  if (!db_) throw SceneStoreError(kSceneTableClosed);
}

std::string SceneRepository::FileChanged() const {
  if (!db_) return {};
  struct stat st {};
  if (::stat(Absolute(path_).c_str(), &st) == 0 && st.st_dev == fileDevice_ && st.st_ino == fileInode_) return {};
  return SceneFileChangedText(path_);
}

void SceneRepository::RequireWritableFile() const {
  RequireOpen();
  const std::string changed = FileChanged();
  if (!changed.empty()) throw SceneStoreError(changed);
}

std::string SceneRepository::SelectColumns() const {
  std::string list = "SELECT rowid";
  for (const SceneColumn& column : columns_) list += ", " + Quote(column.name);
  return list + " FROM " + Table();
}

std::vector<SceneRow> SceneRepository::ReadAll() {
  Statement& all = Get(SelectColumns() + " ORDER BY rowid");
  const auto use = all.Use();
  std::vector<SceneRow> rows;
  while (all.Step()) {
    SceneRow row{all.Int(0), {}};
    row.cells.reserve(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) row.cells.push_back(all.Value(static_cast<int>(c) + 1));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<SceneRow> SceneRepository::Read(std::int64_t key) {
  Statement& one = Get(SelectColumns() + " WHERE rowid = ?");
  const auto use = one.Use();
  one.Bind(1, key);
  if (!one.Step()) return std::nullopt;
  SceneRow row{one.Int(0), {}};
  for (std::size_t c = 0; c < columns_.size(); ++c) row.cells.push_back(one.Value(static_cast<int>(c) + 1));
  return row;
}

bool SceneRepository::HasRecords() {
  Statement& any = Get("SELECT EXISTS (SELECT 1 FROM " + Table() + ")");
  const auto use = any.Use();
  return any.Step() && any.Int(0) != 0;
}

std::int64_t SceneRepository::SaveScene(int sceneNo, int moduleAddr, const SceneCodes& codes) {
  RequireWritableFile();
  // Prepared before the transaction: a missing column fails the operation
  // before anything is begun.
  Statement& find = Get("SELECT rowid FROM " + Table() +
                        R"( WHERE "Scene No" = ? AND "Module Addr" = ? ORDER BY rowid LIMIT 1)");
  Statement& update = Get("UPDATE " + Table() +
                          R"( SET "CH1" = ?, "CH2" = ?, "CH3" = ?, "CH4" = ?, "CH5" = ?, "CH6" = ?, "CH7" = ?, )"
                          R"("CH8" = ? WHERE rowid = ?)");
  Statement& append = Get("INSERT INTO " + Table() +
                          R"( ("Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7", "CH8") )"
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  Transaction tx(*this);
  std::int64_t key = -1;
  {
    const auto use = find.Use();
    find.Bind(1, std::int64_t{sceneNo});
    find.Bind(2, std::int64_t{moduleAddr});
    if (find.Step()) key = find.Int(0);
  }
  if (key >= 0) {
    const auto use = update.Use();
    for (int k = 0; k < 8; ++k) update.Bind(1 + k, codes[static_cast<std::size_t>(k)]);
    update.Bind(9, key);
    update.Run();
  } else {
    const auto use = append.Use();
    append.Bind(1, std::int64_t{sceneNo});
    append.Bind(2, std::int64_t{moduleAddr});
    for (int k = 0; k < 8; ++k) append.Bind(3 + k, codes[static_cast<std::size_t>(k)]);
    append.Run();
    key = sqlite3_last_insert_rowid(db_);
  }
  tx.Commit();
  return key;
}

std::vector<std::int64_t> SceneRepository::DeleteModule(int moduleAddr) {
  RequireWritableFile();
  Statement& keysOf = Get("SELECT rowid FROM " + Table() + R"( WHERE "Module Addr" = ? ORDER BY rowid)");
  Statement& remove = Get("DELETE FROM " + Table() + R"( WHERE "Module Addr" = ?)");
  Transaction tx(*this);
  std::vector<std::int64_t> keys;
  {
    const auto use = keysOf.Use();
    keysOf.Bind(1, std::int64_t{moduleAddr});
    while (keysOf.Step()) keys.push_back(keysOf.Int(0));
  }
  {
    const auto use = remove.Use();
    remove.Bind(1, std::int64_t{moduleAddr});
    remove.Run();
  }
  tx.Commit();
  return keys;
}

void SceneRepository::Delete(const std::vector<std::int64_t>& keys) {
  RequireWritableFile();
  Statement& remove = Get("DELETE FROM " + Table() + " WHERE rowid = ?");
  Transaction tx(*this);
  for (const std::int64_t key : keys) {
    const auto use = remove.Use();
    remove.Bind(1, key);
    remove.Run();
  }
  tx.Commit();
}

void SceneRepository::DeleteAll() {
  RequireWritableFile();
  Statement& removeAll = Get("DELETE FROM " + Table());
  Transaction tx(*this);
  {
    const auto use = removeAll.Use();
    removeAll.Run();
  }
  tx.Commit();
}

void SceneRepository::CheckWritable() {
  RequireWritableFile();
  // A write that changes nothing, in a transaction that is rolled back.
  Statement& probe = Get("UPDATE " + Table() + " SET rowid = rowid WHERE 0");
  Transaction tx(*this);
  const auto use = probe.Use();
  probe.Run();
}

void SceneRepository::SetCell(std::int64_t key, std::size_t column, const SceneValue& value) {
  RequireWritableFile();
  if (column >= columns_.size() || columns_[column].key)
    throw SceneStoreError("The column cannot be written: " +
                          (column < columns_.size() ? columns_[column].name : std::to_string(column)));
  Statement& update = Get("UPDATE " + Table() + " SET " + Quote(columns_[column].name) + " = ? WHERE rowid = ?");
  Transaction tx(*this);
  {
    const auto use = update.Use();
    update.Bind(1, value);
    update.Bind(2, key);
    update.Run();
  }
  tx.Commit();
}

std::vector<std::int64_t> SceneRepository::AppendEmpty(int count) {
  RequireWritableFile();
  Statement& insert = Get("INSERT INTO " + Table() + " DEFAULT VALUES");
  Transaction tx(*this);
  std::vector<std::int64_t> keys;
  for (int i = 0; i < count; ++i) {
    const auto use = insert.Use();
    insert.Run();
    keys.push_back(sqlite3_last_insert_rowid(db_));
  }
  tx.Commit();
  return keys;
}

}  // namespace veltra
