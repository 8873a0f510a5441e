// Test entry for everything that needs Qt: the application object must exist
// before any widget or event loop is used, and tests run without a display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  // The frame history and whatever else goes into the user's state folder
  // goes into a scratch folder of this run, never the user's own.
  char state[] = "/tmp/veltra-test-state-XXXXXX";
  const bool scratch = mkdtemp(state) != nullptr;
  if (scratch) setenv("XDG_STATE_HOME", state, 1);
  ::testing::InitGoogleTest(&argc, argv);
  int result = 0;
  {
    QApplication app(argc, argv);
    // Settings, data and caches of a test go to scratch folders, never to the
    // user's own.
    QStandardPaths::setTestModeEnabled(true);
    result = RUN_ALL_TESTS();
  }
  if (scratch) std::filesystem::remove_all(state);
  return result;
}
