// The console's command line: read before any window exists, so --help,
// --version and usage errors work where no display is set.
#include <gtest/gtest.h>

#include <QStringList>
#include <string>
#include <vector>

#include "../support/run_program.h"
#include "console/build_info.h"
#include "console/command_line.h"

namespace veltra::test {
namespace {

using Outcome = ConsoleCommandLine::Outcome;

ConsoleCommandLine Parse(QStringList arguments) {
  arguments.prepend(QStringLiteral("veltra"));
  return ParseConsoleCommandLine(arguments);
}

ProgramRun Console(const std::vector<std::string>& arguments) {
  return RunWithoutDisplay(VELTRA_CONSOLE_PROGRAM, arguments);
}

TEST(ConsoleCommandLine, OptionsAndQtsOwnOptions) {
  const ConsoleCommandLine plain = Parse({});
  EXPECT_EQ(plain.outcome, Outcome::Run);
  EXPECT_FALSE(plain.simulate);
  EXPECT_TRUE(plain.sceneDatabase.isEmpty());

  // Qt's options, in both spellings and with their values, are left for the
  // application object and are no stray arguments.
  const ConsoleCommandLine mixed =
      Parse({"-platform", "offscreen", "--simulate", "-reverse", "--scene-db", "/tmp/a b.mdb", "--style", "Fusion",
             "-stylesheet=x.qss", "-qwindowtitle", "stray-looking title"});
  EXPECT_EQ(mixed.outcome, Outcome::Run) << mixed.error.toStdString();
  EXPECT_TRUE(mixed.simulate);
  EXPECT_EQ(mixed.sceneDatabase, "/tmp/a b.mdb");
  EXPECT_EQ(Parse({"--scene-db=/x.mdb"}).sceneDatabase, "/x.mdb");

  EXPECT_EQ(Parse({"--simulate", "--version"}).outcome, Outcome::Version);

  // Mistakes the programs' runs below do not show.
  EXPECT_EQ(Parse({"--help", "stray"}).outcome, Outcome::Wrong);  // help does not cover a mistake
  const ConsoleCommandLine ended = Parse({"--", "--help"});        // no option after "--"
  EXPECT_EQ(ended.outcome, Outcome::Wrong);
  EXPECT_TRUE(ended.error.contains("--help")) << ended.error.toStdString();
  EXPECT_EQ(Parse({"-platform"}).outcome, Outcome::Wrong);  // Qt's option without its value
}

// The program itself, started without a display.
TEST(ConsoleProgram, HelpAndVersionNeedNoDisplay) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--help"}, {"-h"}, {"-platform", "xcb", "--help"}}) {
    const ProgramRun run = Console(arguments);
    EXPECT_EQ(run.status, 0) << arguments.back() << "\n" << run.err;
    EXPECT_EQ(run.out.rfind("Usage: veltra [options]\n", 0), 0u) << run.out;
    for (const char* option : {"--simulate", "--scene-db <PATH>", "--version", "--help"})
      EXPECT_NE(run.out.find(option), std::string::npos) << option << " missing from\n" << run.out;
    EXPECT_EQ(run.err, "");
  }
  const std::string version = std::string("veltra ") + build::kVersion + "\n";
  for (const char* option : {"--version", "-v"}) {
    const ProgramRun run = Console({option});
    EXPECT_EQ(run.status, 0) << option << "\n" << run.err;
    EXPECT_EQ(run.out, version);
    EXPECT_EQ(run.err, "");
  }
}

TEST(ConsoleProgram, WrongOptionOrStrayArgumentPrintsTheUsageAndExitsWithTwo) {
  // The runs here have no display indeed: the window itself cannot start.
  const ProgramRun window = Console({"--scene-db", "/nonexistent/Veltra.mdb"});
  EXPECT_NE(window.status, 0);
  EXPECT_NE(window.status, 2) << window.err;

  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--no-such-option"}, {"stray"}, {"--simulate", "stray"}, {"--scene-db"}}) {
    const ProgramRun run = Console(arguments);
    EXPECT_EQ(run.status, 2) << arguments.back() << "\n" << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("veltra: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(arguments.back().substr(arguments.back().find_first_not_of('-'))), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Usage: veltra [options]"), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace veltra::test
