#pragma once
// Shared helpers of the scene table tests: a fresh database in a temporary
// folder, and a second, independent connection to look at or lock the file.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <vector>

#include "scenes/scene_store.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {

using Codes = std::array<QString, 8>;

inline Codes AllCodes(const QString& code) {
  Codes codes;
  codes.fill(code);
  return codes;
}

inline QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A connection of its own to a database file, as another program would have.
class Peer {
 public:
  explicit Peer(const QString& path) : name_(QStringLiteral("peer_%1").arg(++count_)) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    db.setDatabaseName(path);
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
  }
  ~Peer() {
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
  }
  // Runs a statement; returns the rows as text, one QStringList per row.
  std::vector<QStringList> Exec(const QString& sql) {
    QSqlQuery query(QSqlDatabase::database(name_, false));
    std::vector<QStringList> rows;
    if (!query.exec(sql)) {
      ADD_FAILURE() << sql.toStdString() << ": " << query.lastError().text().toStdString();
      return rows;
    }
    while (query.next()) {
      QStringList row;
      for (int c = 0; c < query.record().count(); ++c) {
        row << (query.value(c).isNull() ? QStringLiteral("NULL") : query.value(c).toString());
      }
      rows.push_back(row);
    }
    return rows;
  }
  // Every record as "scene,module,CH1..CH8" in table order.
  QStringList Records() {
    QStringList out;
    for (const QStringList& row : Exec(QStringLiteral(
             R"(SELECT "Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", )"
             R"("CH7", "CH8" FROM "Scenes Records" ORDER BY rowid)"))) {
      out << row.join(QLatin1Char(','));
    }
    return out;
  }

 private:
  static inline int count_ = 0;
  QString name_;
};

// A folder holding a fresh, empty "Veltra.mdb" made from the schema script.
class SceneDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + QLatin1Char('/');
    path_ = folder_ + QStringLiteral("Veltra.mdb");
    ASSERT_EQ(CreateSceneDatabase(QStringLiteral(VELTRA_SCENE_SCHEMA), path_),
              CreateResult::Created);
  }
  QTemporaryDir dir_;
  QString folder_;
  QString path_;
};

}  // namespace veltra::test
