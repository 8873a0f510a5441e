#pragma once
// The console's command line, read before the window's application object
// exists: --help, --version and a mistyped option are answered without a
// display to connect to.
#include <QString>
#include <QStringList>

namespace veltra {

struct ConsoleCommandLine {
  enum class Outcome { Run, Help, Version, Wrong };
  Outcome outcome = Outcome::Run;
  bool simulate = false;  // --simulate
  QString sceneDatabase;  // --scene-db PATH; empty when not given
  QString error;          // what was wrong, for Outcome::Wrong
};

// `arguments` as the program received them, its own name first. Qt's own
// options (-platform NAME, -style NAME, -reverse, ...) are let through for
// the application object, which takes them out of argv itself.
ConsoleCommandLine ParseConsoleCommandLine(const QStringList& arguments);

// "Usage: veltra [options]" and the options, as --help prints them.
QString ConsoleUsage();

}  // namespace veltra
