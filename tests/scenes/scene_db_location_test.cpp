// Which scene database the console opens, and the user's copy of the
// template: made once, never overwritten, never half-written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "scenes/scene_db_location.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;

SceneDbLookup Lookup(std::set<std::string> files) {
  SceneDbLookup lookup;
  lookup.executableDir = "/opt/veltra/bin";
  lookup.home = "/home/ann";
  lookup.exists = [files](const std::string& path) { return files.count(path) > 0; };
  return lookup;
}

TEST(ChooseSceneDatabase, FollowsTheLookupOrder) {
  SceneDbLookup lookup = Lookup({"/opt/veltra/bin/Veltra.mdb"});
  lookup.option = "/srv/site-a.mdb";
  SceneDbChoice choice = ChooseSceneDatabase(lookup);
  EXPECT_EQ(choice.source, SceneDbSource::Option);
  EXPECT_EQ(choice.path, "/srv/site-a.mdb");

  lookup.option.clear();
  choice = ChooseSceneDatabase(lookup);
  EXPECT_EQ(choice.source, SceneDbSource::BesideExecutable);
  EXPECT_EQ(choice.path, "/opt/veltra/bin/Veltra.mdb");

  lookup = Lookup({});
  choice = ChooseSceneDatabase(lookup);
  EXPECT_EQ(choice.source, SceneDbSource::UserData);
  EXPECT_EQ(choice.path, "/home/ann/.local/share/veltra/Veltra.mdb");

  lookup.xdgDataHome = "/data/ann/";
  EXPECT_EQ(ChooseSceneDatabase(lookup).path, "/data/ann/veltra/Veltra.mdb");
}

TEST(ChooseSceneDatabase, IgnoresARelativeDataHomeAndFallsBackBesideWithoutAHome) {
  EXPECT_EQ(UserDataHome("relative/data", "/home/ann"), "/home/ann/.local/share");
  EXPECT_EQ(UserDataHome("", "/home/ann/"), "/home/ann/.local/share");
  EXPECT_EQ(UserDataHome("", ""), "");
  EXPECT_EQ(UserDataHome("", "not-absolute"), "");

  SceneDbLookup lookup = Lookup({});
  lookup.home.clear();
  lookup.xdgDataHome = "relative";
  const SceneDbChoice choice = ChooseSceneDatabase(lookup);
  EXPECT_EQ(choice.source, SceneDbSource::BesideExecutable);
  EXPECT_EQ(choice.path, "/opt/veltra/bin/Veltra.mdb");
}

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "veltra-location-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    Write(root / "template.mdb", "empty scene table");
  }
  void TearDown() override { fs::remove_all(root); }

  static void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> Names(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
  }
  SceneDbLookup UserLookup() const {
    SceneDbLookup lookup;
    lookup.executableDir = (root / "bin").string();
    lookup.xdgDataHome = (root / "data").string();
    return lookup;
  }

  fs::path root;
};

TEST_F(ScratchFolder, CopyMakesThePrivateFoldersAndLeavesNoTemporaryFile) {
  const fs::path target = root / "data" / "veltra" / "Veltra.mdb";
  EXPECT_EQ(CopyFileIfAbsent((root / "template.mdb").string(), target.string()), CopyResult::Copied);
  EXPECT_EQ(Read(target), "empty scene table");
  struct stat st {};
  ASSERT_EQ(::stat((root / "data" / "veltra").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(Names(root / "data" / "veltra"), std::vector<std::string>{"Veltra.mdb"});
}

TEST_F(ScratchFolder, CopyNeverReplacesWhatIsThere) {
  const fs::path target = root / "Veltra.mdb";
  Write(target, "the user's scenes");
  EXPECT_EQ(CopyFileIfAbsent((root / "template.mdb").string(), target.string()), CopyResult::AlreadyThere);
  EXPECT_EQ(Read(target), "the user's scenes");

  // A link to nowhere is somebody's file too.
  const fs::path dangling = root / "link.mdb";
  fs::create_symlink(root / "nowhere.mdb", dangling);
  EXPECT_EQ(CopyFileIfAbsent((root / "template.mdb").string(), dangling.string()), CopyResult::AlreadyThere);
  EXPECT_FALSE(fs::exists(root / "nowhere.mdb"));
}

TEST_F(ScratchFolder, CopyOfAMissingTemplateFailsWithItsPathAndCreatesNothing) {
  const fs::path target = root / "data" / "Veltra.mdb";
  try {
    CopyFileIfAbsent((root / "missing.mdb").string(), target.string());
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find((root / "missing.mdb").string()), std::string::npos) << error.what();
  }
  EXPECT_FALSE(fs::exists(root / "data"));
}

TEST_F(ScratchFolder, PrepareMakesTheUserDatabaseOnceAndKeepsItAfterwards) {
  std::vector<std::string> notes;
  const auto note = [&notes](const std::string& line) { notes.push_back(line); };
  const std::string templatePath = (root / "template.mdb").string();
  const std::string expected = (root / "data" / "veltra" / "Veltra.mdb").string();

  EXPECT_EQ(PrepareSceneDatabase(UserLookup(), templatePath, note), expected);
  EXPECT_EQ(notes, (std::vector<std::string>{"created " + expected + " from " + templatePath,
                                             "scene database " + expected}));
  Write(expected, "scenes of site A");

  notes.clear();
  EXPECT_EQ(PrepareSceneDatabase(UserLookup(), templatePath, note), expected);
  EXPECT_EQ(notes, std::vector<std::string>{"scene database " + expected});
  EXPECT_EQ(Read(expected), "scenes of site A");
}

TEST_F(ScratchFolder, PrepareCopiesNothingForANamedOrBesideDatabase) {
  std::vector<std::string> notes;
  const auto note = [&notes](const std::string& line) { notes.push_back(line); };
  SceneDbLookup lookup = UserLookup();
  lookup.option = (root / "missing.mdb").string();
  EXPECT_EQ(PrepareSceneDatabase(lookup, (root / "template.mdb").string(), note), lookup.option);
  EXPECT_EQ(notes, std::vector<std::string>{"Can not find database " + lookup.option});
  EXPECT_FALSE(fs::exists(lookup.option));

  fs::create_directory(root / "bin");
  Write(root / "bin" / "Veltra.mdb", "portable");
  notes.clear();
  lookup.option.clear();
  EXPECT_EQ(PrepareSceneDatabase(lookup, (root / "template.mdb").string(), note), (root / "bin" / "Veltra.mdb").string());
  EXPECT_FALSE(fs::exists(root / "data"));
}

TEST_F(ScratchFolder, PrepareReportsAUserDatabaseItCannotMake) {
  std::vector<std::string> notes;
  const auto note = [&notes](const std::string& line) { notes.push_back(line); };
  const std::string path = PrepareSceneDatabase(UserLookup(), (root / "missing.mdb").string(), note);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("missing.mdb"), std::string::npos) << notes[0];
  EXPECT_EQ(notes[1], "Can not find database " + path);
}

}  // namespace
}  // namespace veltra
