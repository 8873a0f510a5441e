// The scene table's storage on its own, as veltra-cli uses it: no Qt and no
// application object in this program at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

class SceneRepositoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/veltra-scene-repository-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    folder_ = name;
    path_ = folder_ + "/Veltra.mdb";
    ASSERT_EQ(CreateSceneDatabase(VELTRA_SCENE_SCHEMA, path_), CreateResult::Created);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string folder_, path_;
  SceneRepository table_;
};

std::string Text(const SceneValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  return value.index() == 0 ? "NULL" : "?";
}

TEST_F(SceneRepositoryTest, SavesReadsAndDeletesPlainRecords) {
  ASSERT_TRUE(table_.Open(path_)) << table_.OpenError();
  ASSERT_EQ(table_.Columns().size(), 11u);
  EXPECT_EQ(table_.Columns()[10].name, "ID");
  EXPECT_TRUE(table_.Columns()[10].key);
  EXPECT_EQ(table_.ColumnOf("CH8"), 9);

  const std::int64_t first = table_.SaveScene(7, 3, {"1", "0", "X", "X", "X", "X", "X", "X"});
  EXPECT_EQ(table_.SaveScene(7, 3, {"1", "1", "X", "X", "X", "X", "X", "X"}), first) << "updated, not added";
  table_.SaveScene(2, 4, {"0", "0", "0", "0", "0", "0", "0", "0"});
  const auto rows = table_.ReadAll();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].key, first);
  EXPECT_EQ(std::get<std::int64_t>(rows[0].cells[0]), 7);
  EXPECT_EQ(Text(rows[0].cells[3]), "1");
  EXPECT_TRUE(table_.HasRecords());

  const auto blank = table_.AppendEmpty(1);
  ASSERT_EQ(blank.size(), 1u);
  EXPECT_EQ(Text(table_.Read(blank[0])->cells[0]), "NULL");
  table_.SetCell(blank[0], 0, std::int64_t{9});
  EXPECT_EQ(Text(table_.Read(blank[0])->cells[0]), "9");
  EXPECT_THROW(table_.SetCell(blank[0], 10, std::int64_t{1}), SceneStoreError) << "the key column";

  EXPECT_EQ(table_.DeleteModule(3), std::vector<std::int64_t>{first});
  table_.DeleteAll();
  EXPECT_FALSE(table_.HasRecords());
}

TEST_F(SceneRepositoryTest, OpensExistingFilesOnlyAndReadOnlyFilesReadOnly) {
  const std::string missing = folder_ + "/missing.mdb";
  EXPECT_FALSE(table_.Open(missing));
  EXPECT_NE(table_.OpenError().find("not found"), std::string::npos) << table_.OpenError();
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_THROW(table_.SaveScene(1, 1, {}), SceneStoreError);

  ASSERT_TRUE(table_.Open(path_));
  table_.SaveScene(1, 1, {"1", "1", "1", "1", "1", "1", "1", "1"});
  EXPECT_NO_THROW(table_.CheckWritable());
  EXPECT_EQ(table_.ReadAll().size(), 1u) << "the check writes nothing";
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  ASSERT_TRUE(table_.Open(path_));
  EXPECT_TRUE(table_.ReadOnly());
  EXPECT_EQ(table_.ReadAll().size(), 1u);
  // Known before anything is tried for real.
  EXPECT_THROW(table_.CheckWritable(), SceneStoreError);
  try {
    table_.SaveScene(1, 1, {"0", "0", "0", "0", "0", "0", "0", "0"});
    ADD_FAILURE() << "a read-only file took a write";
  } catch (const SceneStoreError& error) {
    EXPECT_NE(std::string(error.what()).find("readonly"), std::string::npos) << error.what();
  }
  EXPECT_EQ(Text(table_.ReadAll()[0].cells[2]), "1");
}

}  // namespace
}  // namespace veltra::test
