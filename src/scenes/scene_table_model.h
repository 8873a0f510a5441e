#pragma once
// The scene table as the window's grid shows it: a Qt table model over a
// SceneRepository. It holds every record of the table in memory, in table
// order (rowid order), with every column titled by its name, and is kept up
// to date by each operation (only the records an operation touched are read
// again; Refresh() reads everything). Everything here runs on the main thread.
//
// The window's operations (a confirmed scene saved, a module's scenes
// cleared, "Delete", "Delete All") throw SceneStoreError when the table
// refuses them. Edits made through the model (cells edited in place,
// insertRows appending empty records, removeRows), and values a column
// cannot hold (scene_cell_rules.h), raise editFailed() with the reason
// instead, since they come from the view; the record stays as it was.
//
// The current record: the one the grid marks and "Delete" removes. After an
// opening it is the last record; a saved record becomes current; when the
// current record goes, the one after it (or the last one) becomes current.
#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "scenes/scene_repository.h"

namespace veltra {

class SceneTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit SceneTableModel(SceneRepository& repository, QObject* parent = nullptr);
  ~SceneTableModel() override;

  // Opens the table "Scenes Records" of the database file `path` (any name)
  // and reads it. Returns false with the table closed (and the model empty,
  // without columns) when anything fails; OpenError() then says why.
  bool OpenSceneFile(const QString& path);
  // The same for folder + "Veltra.mdb"; `folder` ends in a path separator.
  bool OpenSceneTable(const QString& folder);
  bool IsOpen() const { return repository_.IsOpen(); }
  // The file of the last opening, also when it failed; empty before any.
  QString FilePath() const;
  QString OpenError() const { return openError_; }

  // Updates "CH1".."CH8" of the first record with this "Scene No" and
  // "Module Addr", or appends a new record; it becomes the current one.
  // Throws SceneStoreError.
  void SaveSceneRecord(int sceneNo, int moduleAddr, const std::array<QString, 8>& channelCodes);
  // Deletes every record of the module. Throws SceneStoreError.
  void DeleteModuleScenes(int moduleAddr);
  // "Delete": deletes the current record. Returns false, changing nothing,
  // when the table holds no record. Throws SceneStoreError.
  [[nodiscard]] bool DeleteCurrentScene();
  // "Delete All": deletes every record. Returns false when the table was
  // already empty (reading only, so a read-only table says so too). Throws
  // SceneStoreError.
  [[nodiscard]] bool DeleteAllScenes();
  // Records in the table as last read; 0 while closed.
  int RecordCount() const { return static_cast<int>(rows_.size()); }

  // The current record's row; -1 when the table is empty or closed.
  int CurrentRow() const;
  // The grid calls this when the operator selects a row. Out of range rows
  // are ignored.
  void SetCurrentRow(int row);
  // Reads the whole table again (changes made by other programs). Throws
  // SceneStoreError.
  void Refresh();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // New records are empty and always go to the end of the table.
  bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
  bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

 signals:
  void currentRowChanged(int row);
  // An edit made through the model was refused; the model keeps the stored
  // values.
  void editFailed(const QString& message);

 private:
  // Every record read again (or none, when closed).
  void Reload();
  // One record read again by rowid: updated, inserted at its place, or
  // removed when it is gone.
  void RefreshKey(std::int64_t key);
  // Drops records already deleted from the table; keys ascending.
  void RemoveKeys(const std::vector<std::int64_t>& keys);
  void Clear();
  int LowerBoundRow(std::int64_t key) const;  // first row with a key >= key
  int RowOfKey(std::int64_t key) const;       // -1 when absent
  std::int64_t KeyAt(int row) const;          // -1 out of range
  bool Fail(const QString& message);
  // Normalises the current record after a change and tells the grid.
  void Notify();

  SceneRepository& repository_;
  QString openError_;
  std::vector<SceneRow> rows_;
  std::int64_t currentKey_ = -1;  // rowid of the current record, -1 for none
  int notifiedRow_ = -1;
  std::int64_t notifiedKey_ = -1;
};

}  // namespace veltra
