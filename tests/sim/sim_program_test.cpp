// veltra-sim's command line, run as a program without a display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/run_program.h"

namespace veltra::test {
namespace {

TEST(SimProgram, VersionAndHelp) {
  const ProgramRun version = RunWithoutDisplay(VELTRA_SIM_PROGRAM, {"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out, std::string("veltra-sim ") + VELTRA_VERSION + "\n");
  EXPECT_EQ(version.err, "");

  const ProgramRun help = RunWithoutDisplay(VELTRA_SIM_PROGRAM, {"--help"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out.rfind("usage: veltra-sim", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
}

TEST(SimProgram, WrongOptionOrStrayArgumentPrintsTheUsageAndExitsWithTwo) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--no-such-option"}, {"--no-udp", "--pty", "stray"}, {"--udp-port"}}) {
    const ProgramRun run = RunWithoutDisplay(VELTRA_SIM_PROGRAM, arguments);
    EXPECT_EQ(run.status, 2) << arguments.back() << "\n" << run.err;
    EXPECT_EQ(run.out, "") << arguments.back();  // nothing started, nothing served
    EXPECT_NE(run.err.find(arguments.back()), std::string::npos) << run.err;
  }
  const ProgramRun stray = RunWithoutDisplay(VELTRA_SIM_PROGRAM, {"stray"});
  EXPECT_NE(stray.err.find("unexpected argument stray"), std::string::npos) << stray.err;
  EXPECT_NE(stray.err.find("usage: veltra-sim"), std::string::npos) << stray.err;
}

TEST(SimProgram, AFaultForAModuleThatIsNotThereIsRefused) {
  const ProgramRun run = RunWithoutDisplay(VELTRA_SIM_PROGRAM, {"--modules", "light@1", "--fault", "2:ignore-scenes"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "veltra-sim: --fault: no module at address 2\n");
}

}  // namespace
}  // namespace veltra::test
