#pragma once
// The local table "Scenes Records": the scenes that modules have confirmed,
// kept in an SQLite file, "Veltra.mdb" beside the executable or in the
// user's data folder (scenes/scene_db_location.h says which). Plain records
// and a file path, through SQLite's own interface: no Qt, so veltra-cli and
// any other tool use it without an application object. One thread at a time.
//
// Opening: an existing file only, never a new file or table. A file without
// any write permission bit is opened read-only, even for root, so that its
// writes are refused.
//
// Writes: every operation is one SQLite transaction (BEGIN IMMEDIATE ...
// COMMIT); when the database refuses any part of it the transaction is
// rolled back, nothing changes and SceneStoreError is thrown with the
// database's own error text. A crash in the middle of an operation therefore
// leaves either the old or the new state of the file. Before every write the
// file at the path must still be the one opened (not deleted or replaced).
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace veltra {

// Raised by every table operation that cannot be carried out: the table is
// closed (kSceneTableClosed), the file was deleted or replaced since it was
// opened (SceneFileChangedText), or the database refused (read-only file,
// locked by another connection, disk full, corrupt file, missing column).
// what() is the database's error text.
class SceneStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr char kSceneTableName[] = "Scenes Records";
inline constexpr char kSceneDatabaseFile[] = "Veltra.mdb";
inline constexpr char kSceneTableClosed[] = "Scene table is not open";
// Writes refused because the file at `path` is no longer the one opened.
std::string SceneFileChangedText(const std::string& path);

// One cell as the table holds it: NULL, a whole number, a real, or text.
using SceneValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// One column of the table, by its name. The single INTEGER PRIMARY KEY
// column ("ID") is the row's key itself: shown, but never written.
struct SceneColumn {
  std::string name;
  bool key = false;
};

// One record: its rowid and every column's cell, in the table's column order.
struct SceneRow {
  std::int64_t key = -1;
  std::vector<SceneValue> cells;
};

// The channel codes of a scene record, "0", "1" or "X" for CH1..CH8.
using SceneCodes = std::array<std::string, 8>;

class SceneRepository {
 public:
  SceneRepository();
  ~SceneRepository();
  SceneRepository(const SceneRepository&) = delete;
  SceneRepository& operator=(const SceneRepository&) = delete;

  // Opens the table of the database file at `path` (any name). Returns false
  // with the table closed when anything fails; OpenError() then says why.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return db_ != nullptr; }
  bool ReadOnly() const { return readOnly_; }
  // The path of the last Open, also when it failed; empty before any.
  const std::string& Path() const { return path_; }
  const std::string& OpenError() const { return openError_; }
  // Every column of the table, in its order; empty while closed.
  const std::vector<SceneColumn>& Columns() const { return columns_; }
  // The position of a column; -1 when the table has none of that name.
  int ColumnOf(std::string_view name) const;

  // Every record in table order (rowid order). Throws SceneStoreError.
  std::vector<SceneRow> ReadAll();
  // One record by rowid; nothing when it is not there. Throws SceneStoreError.
  std::optional<SceneRow> Read(std::int64_t key);
  // Whether the table holds any record; reads only. Throws SceneStoreError.
  bool HasRecords();

  // Updates "CH1".."CH8" of the first record, in table order, with this
  // "Scene No" and "Module Addr", or appends a new record; returns the rowid
  // written. Throws SceneStoreError.
  std::int64_t SaveScene(int sceneNo, int moduleAddr, const SceneCodes& codes);
  // Deletes every record of the module, whatever its scene number; returns
  // the rowids deleted, ascending. Throws SceneStoreError.
  std::vector<std::int64_t> DeleteModule(int moduleAddr);
  // Deletes these records. Throws SceneStoreError.
  void Delete(const std::vector<std::int64_t>& keys);
  // Deletes every record. Throws SceneStoreError.
  void DeleteAll();
  // Tries a write and takes it back: throws SceneStoreError when the table
  // would refuse one (a read-only file, a lock, a file changed since it was
  // opened), before a tool sends anything whose answer it must store.
  void CheckWritable();
  // Writes one cell of a record (not the key column). Throws SceneStoreError.
  void SetCell(std::int64_t key, std::size_t column, const SceneValue& value);
  // Appends `count` empty records; returns their rowids. Throws SceneStoreError.
  std::vector<std::int64_t> AppendEmpty(int count);

  // Empty while the file at Path() is the one opened; otherwise the
  // SceneFileChangedText of it. An open file that was deleted would take
  // writes that vanish with it, and a replaced one is another table.
  std::string FileChanged() const;

 private:
  class Statement;
  class Transaction;
  // A statement prepared on first use and kept for the life of the
  // connection. One that does not prepare (a missing column) raises the
  // database's error when the operation that needs it runs.
  Statement& Get(const std::string& sql);
  void RequireOpen() const;
  // Before every write: the table open and its file still in place.
  void RequireWritableFile() const;
  std::string SelectColumns() const;

  sqlite3* db_ = nullptr;
  std::string path_;
  std::string openError_;
  bool readOnly_ = false;
  std::uint64_t fileDevice_ = 0;
  std::uint64_t fileInode_ = 0;
  std::vector<SceneColumn> columns_;
  std::map<std::string, std::unique_ptr<Statement>> statements_;
};

}  // namespace veltra
