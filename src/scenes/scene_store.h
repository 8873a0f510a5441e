#pragma once
// The local table "Scenes Records": the scenes that modules have confirmed,
// kept in an SQLite file, "Veltra.mdb" beside the executable or in the
// user's data folder (scenes/scene_db_location.h says which). Everything here
// runs on the main thread.
//
// Writes: every operation is one SQLite transaction (BEGIN IMMEDIATE ...
// COMMIT); when the database refuses any part of it the transaction is rolled
// back, nothing changes and SceneStoreError is thrown with the database's own
// error text. A crash in the middle of an operation therefore leaves either
// the old or the new state of the file.
//
// The grid: Model() holds every record of the table in table order (primary
// key order), with every column of the table titled by its name, and is kept
// up to date by each operation (only the records an operation touched are
// re-read; Refresh() re-reads everything). Cells can be edited in place;
// records can be added (insertRows, appended at the end) and removed
// (removeRows) through the model. Edits the database refuses, and values a
// column cannot hold (scene_cell_rules.h), raise editFailed() with the
// reason instead of an exception, since they come from the view; the record
// stays as it was.
#include <QAbstractItemModel>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <stdexcept>

namespace veltra {

class SceneTableModel;

// Raised by every table operation that cannot be carried out: the table is
// closed ("Scene table is not open"), the file was deleted or replaced since
// it was opened (kSceneFileChanged), or the database refused a write (read
// only file, locked by another connection, disk full, corrupt file, missing
// column). what() is the database's error text.
class SceneStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr char kSceneTableName[] = "Scenes Records";
inline constexpr char kSceneDatabaseFile[] = "Veltra.mdb";
inline constexpr char kSceneTableClosed[] = "Scene table is not open";
// Writes refused because the file at the table's path is no longer the one
// opened; %1 is the path.
inline constexpr char kSceneFileChanged[] =
    "The scene database %1 was deleted or replaced while the program ran; nothing was written";

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "Veltra.mdb;Persist
// Security Info=False". `folder` must end in a path separator.
QString SceneConnectionString(const QString& folder);
// The same for a database file of any name.
QString SceneFileConnectionString(const QString& path);
// The "Data Source" value of a connection string (empty when there is none).
// The value runs up to ";Persist Security Info=" when present, so a folder
// that itself holds a ';' survives.
QString DataSourceOf(const QString& connectionString);
// "file:<path>?mode=rw" (or mode=ro) with '%', '?' and '#' percent-encoded.
QString SqliteUri(const QString& absolutePath, bool readOnly);

class SceneStore : public QObject {
  Q_OBJECT

 public:
  explicit SceneStore(QObject* parent = nullptr);
  ~SceneStore() override;

  // Opens the table "Scenes Records" of folder + "Veltra.mdb". Opens an
  // existing file only, never creates a file or a table. A file without any
  // write permission bit is opened read-only, even for root, so that its
  // writes are refused. Returns false with the table closed when anything
  // fails (the window shows "Can not find database"); OpenError() then says
  // why. On success the current record is the last one (-1 when empty).
  bool OpenSceneTable(const QString& folder);
  // The same for a database file of any name and folder.
  bool OpenSceneFile(const QString& path);
  bool IsOpen() const;
  // Whether a write would be taken now, tried without changing anything: a
  // write transaction is begun and rolled back. Throws SceneStoreError with
  // the database's reason (a file opened read-only, a lock another
  // connection holds, the file replaced since it was opened).
  void CheckWritable();
  QString ConnectionString() const;
  QString OpenError() const;

  // Updates "CH1".."CH8" of the first record, in table order, with this
  // "Scene No" and "Module Addr", or appends a new record. The record written
  // becomes the current one. Throws SceneStoreError.
  void SaveSceneRecord(int sceneNo, int moduleAddr, const std::array<QString, 8>& channelCodes);
  // Deletes every record of the module, whatever its scene number. The
  // current record stays current when it survives; otherwise the record after
  // it (or the last one) becomes current. Throws SceneStoreError.
  void DeleteModuleScenes(int moduleAddr);
  // "Delete": deletes the current record; the next one becomes current, or
  // the previous one when it was the last. Returns false, changing nothing,
  // when the table holds no record (the window shows "No records!").
  // Throws SceneStoreError.
  [[nodiscard]] bool DeleteCurrentScene();
  // "Delete All": deletes every record. Returns false when the table was
  // already empty (the window shows "No records!"). Throws SceneStoreError.
  [[nodiscard]] bool DeleteAllScenes();

  // Current record as a row of Model(); -1 when the table is empty or closed.
  int CurrentRow() const;
  // The grid calls this when the operator selects a row. Out of range rows
  // are ignored.
  void SetCurrentRow(int row);

  // The grid's model (a QAbstractTableModel). Empty with no columns while the
  // table is closed. Owned by the store.
  QAbstractItemModel* Model() const;
  // Re-reads the whole table into the model (changes made by other programs).
  // Throws SceneStoreError.
  void Refresh();

 signals:
  void currentRowChanged(int row);
  // An edit made through the model (in-place editing, insertRows, removeRows)
  // was refused by the database; the model keeps the stored values.
  void editFailed(const QString& message);

 private:
  struct Statements;
  void Close();
  void RequireOpen() const;
  // Empty while the file at the table's path is the one opened; otherwise
  // the kSceneFileChanged text. An open file that was deleted would take
  // writes that vanish with it, and a replaced one is another table.
  QString FileChangedError() const;
  // Before every write: the table open and its file still in place.
  void RequireWritableFile() const;
  // Normalises the current record after a change and tells the grid.
  void Notify();

  QString connection_name_;
  QString connection_string_;
  QString open_error_;
  bool open_ = false;
  bool read_only_ = false;
  QByteArray file_path_;  // the opened file, as the system names it
  quint64 file_device_ = 0;
  quint64 file_inode_ = 0;
  qint64 current_key_ = -1;  // rowid of the current record, -1 for none
  int notified_row_ = -1;
  qint64 notified_key_ = -1;
  SceneTableModel* model_;
  std::unique_ptr<Statements> statements_;
};

}  // namespace veltra
