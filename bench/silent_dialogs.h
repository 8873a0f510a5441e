#pragma once
// Message boxes of a benchmark's window: printed, never shown; and the
// options of a window against the in-process simulated bus.
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "console/dialogs.h"
#include "console/main_window.h"

namespace bench {

class SilentDialogs : public veltra::Dialogs {
 public:
  bool Confirm(const QString&, const QString& = {}) override { return false; }
  void Message(const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
  void ShowError(const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
  void Warning(const QString& text, const QString& details) override {
    std::fprintf(stderr, "warning: %s (%s)\n", qPrintable(text), qPrintable(details));
  }
  QString SaveFileName(const QString&, const QString&, const QString&) override { return {}; }
};

// The window as `veltra --simulate` builds it, against a simulated bus
// started with `simulation`, with the scene database built beside the
// benchmarks and the simulator's log not printed.
inline veltra::MainWindowOptions SimulatedWindowOptions(SilentDialogs& dialogs, veltra::SimulatorOptions simulation = {}) {
  veltra::MainWindowOptions options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  options.simulationLocalPort = 0;
  options.sceneFolder = QCoreApplication::applicationDirPath() + "/../src/console/";
  options.simulator = std::make_shared<veltra::SimulatorRuntime>(std::move(simulation));
  return options;
}

}  // namespace bench
