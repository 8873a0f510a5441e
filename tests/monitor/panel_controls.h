#pragma once
// A panel's controls as tests find them: by their object names. A control
// that is not there is a test failure.
#include <gtest/gtest.h>

#include <QObject>
#include <QString>

namespace veltra::test {

template <typename T>
T* Child(const QObject& root, const char* name) {
  T* found = root.findChild<T*>(QString::fromLatin1(name));
  if (!found) ADD_FAILURE() << "no control \"" << name << "\"";
  return found;
}

}  // namespace veltra::test
