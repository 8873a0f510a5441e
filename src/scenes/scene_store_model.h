#pragma once
// Grid model of the scene table: every record of one SQLite table, held in
// memory in rowid order, with every column of the table. The whole table is
// read at once (no incremental fetching), so rowCount() is always the number
// of records. The store updates it record by record after its own writes.
#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class QSqlError;
class QSqlQuery;

namespace veltra {

// Quotes an SQL identifier: "name" with inner quotes doubled.
QString QuoteIdentifier(const QString& name);
// The database's own text of an error, or Qt's when the database gave none.
QString ErrorText(const QSqlError& error);

class SceneTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit SceneTableModel(QObject* parent = nullptr);
  ~SceneTableModel() override;

  // Binds to a table of an open connection and reads it. On failure the
  // model stays detached and *error holds the database's text.
  bool Attach(const QString& connectionName, const QString& table, QString* error);
  void Detach();
  // Asked before every edit; a non-empty text refuses the edit with it.
  void SetWriteGuard(std::function<QString()> guard) { write_guard_ = std::move(guard); }

  // Re-reads every record.
  bool Reload(QString* error);
  // Re-reads one record by rowid: updates it, inserts it at its place, or
  // removes it when it is gone.
  bool RefreshKey(qint64 key, QString* error);
  // Drops records already deleted from the table; keys ascending.
  void RemoveKeys(const std::vector<qint64>& keys);
  void Clear();

  int RowOfKey(qint64 key) const;       // -1 when absent
  int LowerBoundRow(qint64 key) const;  // first row with a key >= key
  qint64 KeyAt(int row) const;          // -1 out of range

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  // New records are empty and always go to the end of the table.
  bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
  bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

 signals:
  void editFailed(const QString& message);

 private:
  struct Row {
    qint64 key;
    QList<QVariant> values;
  };
  bool ReadRow(QSqlQuery& query, Row* row) const;
  bool Fail(const QString& message);
  // True (after editFailed) when the write guard refuses edits now.
  bool Refused();

  bool attached_ = false;
  QString connection_;
  QString table_;
  QStringList columns_;
  std::vector<bool> read_only_columns_;  // the rowid alias (INTEGER PRIMARY KEY)
  std::vector<Row> rows_;
  std::unique_ptr<QSqlQuery> row_query_;
  std::function<QString()> write_guard_;
};

}  // namespace veltra
