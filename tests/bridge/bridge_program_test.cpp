// The program's own command line: --check prints what would be published,
// and a bad configuration or plan stops it with its places and status 2.
#include <gtest/gtest.h>

#include "../support/run_program.h"
#include "broker_support.h"

namespace veltra::test {
namespace {

class BridgeProgramLine : public ::testing::Test {
 protected:
  BridgeProgramLine() : dir_(ScratchDir("bridge-line")) {}
  ~BridgeProgramLine() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
    return (dir_ / name).string();
  }
  ProgramRun Run(const std::vector<std::string>& args) { return RunWithoutDisplay(VELTRA_BRIDGE_PROGRAM, args); }

  fs::path dir_;
};

TEST_F(BridgeProgramLine, CheckPrintsTheEntitiesOfThePlan) {
  const std::string config = Write("bridge.toml", "[link]\nudp = \"127.0.0.1\"\n[site]\nname = \"home\"\nplan = \"" +
                                                      std::string(VELTRA_EXAMPLE_PLAN) + "\"\n");
  const ProgramRun run = Run({"--config", config, "--check"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("site home: topics under veltra/home/"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("module 1 (Hall and stairs lights): 8 light outputs"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("module 3 (Living room curtains): 4 cover outputs"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("scene 2"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("module 5 (Wall switches by the door) is an Input module without outputs"), std::string::npos);
}

TEST_F(BridgeProgramLine, ProblemsOfTheConfigurationOrThePlanStopItWithTheirPlace) {
  const std::string badConfig = Write("bad.toml", "[link]\nudp = \"127.0.0.1\"\nbaud = 0\n[site]\nname = \"home\"\nplan = \"plan.toml\"\n");
  ProgramRun run = Run({"--config", badConfig});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(badConfig + ":3:8: the baud rate 0 is out of range"), std::string::npos) << run.err;

  Write("plan.toml", "[[module]]\naddress = 40\n");
  const std::string config = Write("bridge.toml", "[link]\nudp = \"127.0.0.1\"\n[site]\nname = \"home\"\nplan = \"plan.toml\"\n");
  run = Run({"--config", config});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find((dir_ / "plan.toml").string() + ":2:11: module address 40 is out of range"), std::string::npos)
      << run.err;

  run = Run({"--config", (dir_ / "missing.toml").string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("cannot read"), std::string::npos);
  EXPECT_EQ(Run({}).status, 2);  // --config is required
  EXPECT_EQ(Run({"--version"}).status, 0);
}

}  // namespace
}  // namespace veltra::test
