#pragma once
// Shared helpers of the scene table tests: a fresh database in a temporary
// folder, and a second, independent connection to look at or lock the file.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <vector>

#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"
#include "scenes/scene_table_model.h"

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

inline CreateResult MakeSceneDatabase(const QString& path) {
  return CreateSceneDatabase(VELTRA_SCENE_SCHEMA, QFile::encodeName(path).toStdString());
}

// A connection of its own to a database file, as another program would have.
class Peer {
 public:
  explicit Peer(const QString& path) {
    EXPECT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              nullptr),
              SQLITE_OK)
        << path.toStdString();
  }
  ~Peer() { sqlite3_close_v2(db_); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;
  // Runs a statement; returns the rows as text, one QStringList per row.
  std::vector<QStringList> Exec(const QString& sql) {
    std::vector<QStringList> rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db_);
      return rows;
    }
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      QStringList row;
      for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
        row << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
      }
      rows.push_back(row);
    }
    if (rc != SQLITE_DONE) ADD_FAILURE() << sql.toStdString() << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
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
  sqlite3* db_ = nullptr;
};

// A folder holding a fresh, empty "Veltra.mdb" made from the schema script.
class SceneDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + QLatin1Char('/');
    path_ = folder_ + QStringLiteral("Veltra.mdb");
    ASSERT_EQ(MakeSceneDatabase(path_), CreateResult::Created);
  }
  QTemporaryDir dir_;
  QString folder_;
  QString path_;
};

}  // namespace veltra::test
