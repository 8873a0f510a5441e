// Times the scene table's operations on tables of 10,000 and 100,000 records:
// SaveSceneRecord (update and append), DeleteModuleScenes, Delete, and the
// full re-read of the grid model that every operation avoids.
// Each operation includes its own transaction (with the commit's sync to
// disk) and the update of the grid model for the records it touched.
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "scenes/scene_store_schema.h"
#include "scenes/scene_table_model.h"

namespace {

using Clock = std::chrono::steady_clock;
using veltra::SceneRepository;
using veltra::SceneTableModel;

std::array<QString, 8> Codes(const QString& code) {
  std::array<QString, 8> codes;
  codes.fill(code);
  return codes;
}

double MedianMs(std::vector<double> samples) {
  std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
  return samples[samples.size() / 2];
}

// Times `op` `runs` times; `prepare` (untimed) runs before each.
double Time(int runs, const std::function<void(int)>& op,
            const std::function<void(int)>& prepare = nullptr) {
  std::vector<double> samples;
  for (int i = 0; i < runs; ++i) {
    if (prepare) prepare(i);
    const auto start = Clock::now();
    op(i);
    samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return MedianMs(samples);
}

// Adds records the way an earlier run would have left them: scene i % 51,
// module 1 + i % 32.
void Fill(const QString& path, int first, int count, int module = 0) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     R"(INSERT INTO "Scenes Records" ("Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", )"
                     R"("CH5", "CH6", "CH7", "CH8") VALUES (?, ?, '1', '0', 'X', 'X', 'X', 'X', 'X', 'X'))",
                     -1, &insert, nullptr);
  for (int i = first; i < first + count; ++i) {
    sqlite3_reset(insert);
    sqlite3_bind_int(insert, 1, i % 51);
    sqlite3_bind_int(insert, 2, module ? module : 1 + i % 32);
    if (sqlite3_step(insert) != SQLITE_DONE) std::fprintf(stderr, "fill: %s\n", sqlite3_errmsg(db));
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db);
}

void Run(int records, const QString& base) {
  QTemporaryDir dir(base + QStringLiteral("/scene_bench-XXXXXX"));
  const QString folder = dir.path() + QLatin1Char('/');
  const QString path = folder + QStringLiteral("Veltra.mdb");
  veltra::CreateSceneDatabase(VELTRA_SCENE_SCHEMA, QFile::encodeName(path).toStdString());
  Fill(path, 0, records);

  SceneRepository table;
  SceneTableModel store(table);
  const auto openStart = Clock::now();
  if (!store.OpenSceneTable(folder)) {
    std::fprintf(stderr, "open failed: %s\n", qPrintable(store.OpenError()));
    return;
  }
  const double openMs = std::chrono::duration<double, std::milli>(Clock::now() - openStart).count();
  std::printf("%7d records: open (reads every record)          %8.3f ms\n", records, openMs);

  const double update = Time(200, [&](int i) {
    store.SaveSceneRecord(i % 51, 1 + (i / 51) % 32, Codes(i % 2 ? QStringLiteral("1") : QStringLiteral("0")));
  });
  std::printf("%7d records: SaveSceneRecord, update           %8.3f ms median\n", records, update);

  const double append = Time(200, [&](int i) {
    store.SaveSceneRecord(1000 + i, 7, Codes(QStringLiteral("X")));
  });
  std::printf("%7d records: SaveSceneRecord, append           %8.3f ms median\n", records, append);

  // A module that holds a few scenes, as after a ClearScene in practice.
  const double fewGone = Time(20, [&](int) { store.DeleteModuleScenes(40); }, [&](int) {
    Fill(path, 0, 10, 40);
    store.Refresh();
  });
  std::printf("%7d records: DeleteModuleScenes, 10 records    %8.3f ms median\n", records, fewGone);

  // Module 5 holds 1/32 of the table.
  const double manyGone = Time(records > 50000 ? 5 : 15, [&](int) { store.DeleteModuleScenes(5); }, [&](int) {
    Fill(path, 0, records / 32, 5);
    store.Refresh();
  });
  std::printf("%7d records: DeleteModuleScenes, %5d records %8.3f ms median\n", records, records / 32,
              manyGone);

  const double deleteOne = Time(100, [&](int) { (void)store.DeleteCurrentScene(); },
                                [&](int i) { store.SetCurrentRow(store.rowCount() / 2 + i); });
  std::printf("%7d records: DeleteCurrentScene (middle row)   %8.3f ms median\n", records, deleteOne);

  const double reread = Time(5, [&](int) { store.Refresh(); });
  std::printf("%7d records: full model re-read (Refresh)      %8.3f ms median\n", records, reread);
}

}  // namespace

int main() {
  std::printf("Scene table on SQLite (its own interface) under the grid's model; each figure includes the commit\n"
              "and the grid model's update of the touched records.\n");
  // On disk the commit's syncs (four fdatasync calls in the rollback journal
  // mode) dominate and vary with the disk's load; in memory they cost nothing,
  // which leaves the work of the operation itself.
  const struct {
    const char* title;
    QString base;
  } places[] = {{"on disk (/tmp)", QStringLiteral("/tmp")},
                {"in memory (/dev/shm), no sync cost", QStringLiteral("/dev/shm")}};
  for (const auto& place : places) {
    if (!QDir(place.base).exists()) continue;
    std::printf("\n%s\n", place.title);
    Run(10000, place.base);
    Run(100000, place.base);
  }
  return 0;
}
