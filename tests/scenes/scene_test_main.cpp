// Test entry of the scene table model's tests: QProcess (the tool's test)
// wants an application object, and a plain QCoreApplication starts no
// threads, so tests may fork.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
