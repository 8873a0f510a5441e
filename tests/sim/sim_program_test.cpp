// veltra-sim's command line, run as a program without a display.
#include <gtest/gtest.h>

#include <sstream>
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

// The start-up lines scripts read: the line rate has a line of its own, the
// serial line's stays "serial line: PATH".
TEST(SimProgram, StartUpLinesKeepTheirFormWithALineRate) {
  // timeout(1) ends the simulator after its start-up lines are out.
  std::vector<std::string> arguments{"--no-udp", "--pty", "--baud", "9600"};
  const ProgramRun run = RunWithoutDisplay("timeout", [&] {
    std::vector<std::string> a{"-s", "INT", "--preserve-status", "1", VELTRA_SIM_PROGRAM};
    a.insert(a.end(), arguments.begin(), arguments.end());
    return a;
  }());
  EXPECT_EQ(run.status, 0) << run.err;
  bool serial = false, rate = false;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("serial line: ", 0) == 0) {
      serial = true;
      EXPECT_EQ(line.find(' ', 13), std::string::npos) << "nothing after the path: " << line;
      EXPECT_EQ(line.rfind("/dev/", 13), 13u) << line;
    }
    rate = rate || line == "line rate: 9600 baud";
  }
  EXPECT_TRUE(serial) << run.out;
  EXPECT_TRUE(rate) << run.out;
}

}  // namespace
}  // namespace veltra::test
