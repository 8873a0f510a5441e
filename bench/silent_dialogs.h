#pragma once
// Message boxes of a benchmark's window: printed, never shown.
#include <cstdio>

#include "console/dialogs.h"

namespace bench {

class SilentDialogs : public veltra::Dialogs {
 public:
  bool Confirm(const QString&) override { return false; }
  void Message(const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
  void ShowError(const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
  void Warning(const QString& text, const QString& details) override {
    std::fprintf(stderr, "warning: %s (%s)\n", qPrintable(text), qPrintable(details));
  }
  QString SaveFileName(const QString&, const QString&, const QString&) override { return {}; }
};

}  // namespace bench
