// Site plan files: the example reads back as written, and each kind of
// mistake is reported at its line and column, all of them in one pass.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "plan/site_plan.h"

namespace veltra::plan {
namespace {

std::string Example() {
  std::ifstream in(VELTRA_EXAMPLE_PLAN);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PlanFile, TheExampleParsesAndWritesBackToTheSamePlan) {
  const ParseResult parsed = ParsePlan(Example(), "site-plan.toml");
  ASSERT_TRUE(parsed.errors.empty()) << Describe(parsed.errors.front());
  ASSERT_TRUE(parsed.plan);
  const Plan& plan = *parsed.plan;
  ASSERT_EQ(plan.modules.size(), 5u);
  EXPECT_TRUE(plan.busSwitch);
  const Module& hall = plan.modules[0];
  EXPECT_EQ(hall.type, "0208");
  EXPECT_EQ(hall.version, "Light-8 V1.0");
  ASSERT_EQ(hall.turnOnSeconds.size(), 3u);
  EXPECT_EQ(hall.turnOnSeconds[2].output, 5);
  EXPECT_EQ(hall.turnOnSeconds[2].value, 30);
  EXPECT_EQ(hall.scenes[0].channels, (std::vector<int>{1, 1, 0, 0, 2, 2, 2, 2}));
  const Module& switches = plan.modules[4];
  ASSERT_EQ(switches.bindings.size(), 3u);
  EXPECT_EQ(switches.bindings[1].mode, 1);
  EXPECT_EQ(switches.bindings[1].function, 5);   // "Open Curtain", sixth in the list
  EXPECT_EQ(switches.bindings[2].function, 11);  // "Scene"
  EXPECT_EQ(switches.bindings[2].parameter, 1);

  const std::string written = WritePlan(plan);
  const ParseResult again = ParsePlan(written, "written.toml");
  ASSERT_TRUE(again.plan) << Describe(again.errors.front()) << "\n" << written;
  EXPECT_EQ(WritePlan(*again.plan), written);
  // Text with quotes and backslashes survives the trip.
  Plan named = plan;
  named.modules[0].name = "Hall \"north\" \\ stairs";
  const ParseResult quoted = ParsePlan(WritePlan(named), "quoted.toml");
  ASSERT_TRUE(quoted.plan);
  EXPECT_EQ(quoted.plan->modules[0].name, named.modules[0].name);
}

TEST(PlanFile, RecordOfPutsTheFieldsWhereTheBusSwitchReadsThem) {
  BusSwitch b;
  b.ip = {192, 168, 1, 2};
  b.port = 0x07D1;
  b.mask = {255, 255, 255, 0};
  b.gateway = {192, 168, 1, 1};
  b.serverIp = {192, 168, 1, 9};
  b.serverPort = 2002;
  b.mac = {0x02, 0, 0, 0, 0, 0x0A};
  const BusSwitchRecord r = RecordOf(258, b);
  const BusSwitchTexts t = TextsFromRecord(r);
  EXPECT_EQ(t.subnet, 258);
  EXPECT_EQ(t.ip[3], "2");
  EXPECT_EQ(t.port, "2001");
  EXPECT_EQ(t.gateway[3], "1");
  EXPECT_EQ(t.serverPort, "2002");
  EXPECT_EQ(t.mac[5], "0A");
}

struct Mistake {
  const char* text;
  int line, column;
  const char* says;
};

TEST(PlanFile, EveryMistakeIsReportedWithItsPlace) {
  const Mistake mistakes[] = {
      {"subnet = 1\n[[module]]\naddress = 33\n", 3, 11, "module address 33 is out of range (1-32)"},
      {"[[module]]\naddress = 1\n[[module.input]]\ninput = 1\nfunction = \"Dim Light\"\n", 5, 12,
       "unknown function \"Dim Light\""},
      {"[[module]]\naddress = 1\n[[module.scene]]\nnumber = 3\nchannels = \"1 1 1 1 1 1 1 1 0\"\n", 5, 12,
       "a scene has 1 to 8 channels, one per output; this one has 9"},
      {"[[module]]\naddress = 1\n[[module.scene]]\nnumber = 3\nchannels = \"11Y\"\n", 5, 12, "not 'Y'"},
      {"[[module]]\naddress = 1\n[[module.scene]]\nnumber = 51\nchannels = \"1\"\n", 4, 10, "scene number 51"},
      {"[[module]]\naddress = 1\nturn_on_seconds = { 9 = 3 }\n", 3, 21, "output '9' is not an output number (1-8)"},
      {"[[module]]\naddress = 1\ntravel_tenths = { 1 = 602 }\n", 3, 23, "travel time in tenths of a second 602"},
      {"[[module]]\naddress = 1\ntype = \"208\"\n", 3, 8, "module type is four hex digits"},
      {"[[module]]\naddress = 1\nadress = 2\n", 3, 1, "unknown key 'adress'"},
      {"[[module]]\naddress = 2\n\n[[module]]\naddress = 2\n", 4, 1, "module address 2 is given twice (first at line 1)"},
      {"[[module]]\nname = \"no address\"\n", 1, 1, "missing address"},
      {"[bus_switch]\nip = \"10.0.0.300\"\nport = 1\nmask = \"255.0.0.0\"\ngateway = \"0.0.0.0\"\n"
       "server_ip = \"10.0.0.2\"\nserver_port = 2\nmac = \"02:00:00:00:00:01\"\n",
       2, 6, "address octet above 255"},
      {"[bus_switch]\nip = \"10.0.0.1\"\n", 1, 1, "missing port"},
      {"[[module]]\naddress = 1\n[[module.input]]\ninput = 1\nmode = \"toggle\"\n", 5, 8, "button or switch"},
      {"subnet = 1\naddress = = 3\n", 2, 11, ""},  // not TOML at all
      {"subnet = \"one\"\n", 1, 10, "the subnet must be a whole number"},
  };
  for (const Mistake& m : mistakes) {
    SCOPED_TRACE(m.text);
    const ParseResult parsed = ParsePlan(m.text, "site.toml");
    EXPECT_FALSE(parsed.plan);
    ASSERT_FALSE(parsed.errors.empty());
    const Error& e = parsed.errors.front();
    EXPECT_EQ(e.file, "site.toml");
    EXPECT_EQ(e.line, m.line) << Describe(e);
    EXPECT_EQ(e.column, m.column) << Describe(e);
    EXPECT_NE(e.message.find(m.says), std::string::npos) << Describe(e);
  }
}

TEST(PlanFile, AllMistakesOfAFileAreFoundInOneRun) {
  const ParseResult parsed =
      ParsePlan("[[module]]\naddress = 40\n\n[[module]]\naddress = 3\nturn_on_seconds = { 1 = -1 }\n", "two.toml");
  ASSERT_EQ(parsed.errors.size(), 2u);
  EXPECT_EQ(Describe(parsed.errors[0]), "two.toml:2:11: module address 40 is out of range (1-32)");
  EXPECT_EQ(parsed.errors[1].line, 6);
}

TEST(PlanFile, AnythingAtAllGivesAnAnswerAndNoException) {
  for (const char* text : {"", "\xff\xfe", "[[module]]\n[[module]]", "module = 3", "[[module]]\naddress = 1\nscene = 2",
                           "[bus_switch]\nip = 3", "subnet = 99999999999999999999"}) {
    const ParseResult parsed = ParsePlan(text, "odd.toml");
    EXPECT_TRUE(parsed.plan.has_value() != !parsed.errors.empty()) << text;
  }
  // A plan of nothing is a mistake (an empty file, the wrong file).
  for (const char* nothing : {"", "# only a comment\n", "subnet = 3\n"}) {
    const ParseResult parsed = ParsePlan(nothing, "empty.toml");
    EXPECT_FALSE(parsed.plan) << nothing;
    ASSERT_EQ(parsed.errors.size(), 1u);
    EXPECT_EQ(Describe(parsed.errors[0]),
              "empty.toml: the plan holds no [[module]] and no [bus_switch]: nothing to apply or verify");
  }
}

// Settings that a module of the given type cannot take, each where it stands.
TEST(PlanFile, SettingsMustSuitTheModulesType) {
  const Mistake mistakes[] = {
      {"[[module]]\naddress = 1\ntype = \"0208\"\ntravel_tenths = { 1 = 20 }\n", 4, 1,
       "type 0208 is a light module with 8 outputs: it takes no travel times"},
      {"[[module]]\naddress = 3\ntype = \"0104\"\nturn_on_seconds = { 1 = 20 }\n", 4, 1,
       "type 0104 is a curtain module with 4 outputs: it takes no turn-on times"},
      {"[[module]]\naddress = 1\ntype = \"0204\"\nturn_on_seconds = { 1 = 2, 5 = 20 }\n", 4, 28,
       "output 5 is not on this module: type 0204 is a light module with 4 outputs"},
      {"[[module]]\naddress = 3\ntype = \"0102\"\ntravel_tenths = { 3 = 20 }\n", 4, 19,
       "output 3 is not on this module: type 0102 is a curtain module with 2 outputs"},
      {"[[module]]\naddress = 3\ntype = \"0104\"\n[[module.scene]]\nnumber = 1\nchannels = \"11110000\"\n", 6, 12,
       "this scene has 8 channels, one per output: type 0104 is a curtain module with 4 outputs"},
      {"[[module]]\naddress = 4\ntype = \"0301\"\n[[module.scene]]\nnumber = 1\nchannels = \"1\"\n", 4, 1,
       "type 0301 is an infrared module: it takes no scenes"},
      {"[[module]]\naddress = 3\ntype = \"0104\"\n[[module.input]]\ninput = 1\n", 4, 1,
       "only an input module takes input bindings"},
      {"[[module]]\naddress = 5\ntype = \"0404\"\n[[module.input]]\ninput = 6\n", 5, 9,
       "input 6 is not on this module: type 0404 is an input module with 4 inputs"},
      {"[[module]]\naddress = 5\n[[module.input]]\ninput = 1\nfunction = \"Scene\"\nparameter = 60\n", 6, 13,
       "parameter 60 is out of range for \"Scene\" (0-50)"},
      // The binding's target, when the plan gives its type.
      {"[[module]]\naddress = 3\ntype = \"0104\"\n[[module]]\naddress = 5\n[[module.input]]\ninput = 1\n"
       "function = \"Toggle Light\"\ntarget = 3\n",
       9, 10, "module 3 is a curtain module with 4 outputs (type 0104): \"Toggle Light\" cannot act on it"},
      {"[[module]]\naddress = 1\ntype = \"0202\"\n[[module]]\naddress = 5\n[[module.input]]\ninput = 1\n"
       "function = \"toggle-light\"\ntarget = 1\noutput = 3\n",
       10, 10, "output 3 is not on module 1: type 0202 is a light module with 2 outputs"},
  };
  for (const Mistake& m : mistakes) {
    SCOPED_TRACE(m.text);
    const ParseResult parsed = ParsePlan(m.text, "site.toml");
    EXPECT_FALSE(parsed.plan);
    ASSERT_EQ(parsed.errors.size(), 1u) << Describe(parsed.errors.back());
    const Error& e = parsed.errors.front();
    EXPECT_EQ(e.line, m.line) << Describe(e);
    EXPECT_EQ(e.column, m.column) << Describe(e);
    EXPECT_NE(e.message.find(m.says), std::string::npos) << Describe(e);
  }
  // Without a type, or with one the catalogue does not know, nothing is
  // judged; a setting the type takes passes.
  for (const char* fine : {"[[module]]\naddress = 1\ntravel_tenths = { 1 = 20 }\nturn_on_seconds = { 8 = 1 }\n",
                           "[[module]]\naddress = 1\ntype = \"7701\"\ntravel_tenths = { 1 = 20 }\n",
                           "[[module]]\naddress = 1\ntype = \"0204\"\nturn_on_seconds = { 4 = 1 }\n"
                           "[[module.scene]]\nnumber = 2\nchannels = \"1X0X\"\n",
                           "[[module]]\naddress = 5\ntype = \"0408\"\n[[module.input]]\ninput = 8\n"
                           "function = \"Open Curtain\"\ntarget = 9\noutput = 8\n"})
    EXPECT_TRUE(ParsePlan(fine, "fine.toml").plan) << fine;
}

TEST(PlanTests, TheExamplesStepsAreReadInFileOrder) {
  const ParseResult parsed = ParsePlan(Example(), "site-plan.toml");
  ASSERT_TRUE(parsed.plan);
  EXPECT_EQ(parsed.plan->site, "Small house, 3 Elm Street");
  const std::vector<TestStep>& tests = parsed.plan->tests;
  ASSERT_EQ(tests.size(), 7u);
  EXPECT_EQ(tests[0].kind, TestStep::Kind::Switch);
  EXPECT_EQ(tests[0].name, "Hall light on");
  EXPECT_EQ(tests[1].expect, (std::vector<int>{0}));
  EXPECT_EQ(tests[2].action, TestStep::Action::Open);
  EXPECT_EQ(tests[2].withinMs, 26000);
  EXPECT_EQ(tests[4].kind, TestStep::Kind::Scene);
  EXPECT_EQ(tests[4].scene, 2);
  EXPECT_EQ(tests[5].kind, TestStep::Kind::Input);
  EXPECT_EQ(tests[5].input, 1);
  EXPECT_EQ(tests[6].kind, TestStep::Kind::Identify);
  EXPECT_EQ(tests[6].module, 3);
  // The site's name survives writing; steps are not written.
  const ParseResult again = ParsePlan(WritePlan(*parsed.plan), "written.toml");
  ASSERT_TRUE(again.plan);
  EXPECT_EQ(again.plan->site, parsed.plan->site);
  EXPECT_TRUE(again.plan->tests.empty());
}

constexpr const char* kModules =
    "[[module]]\naddress = 1\ntype = \"0208\"\n[[module.scene]]\nnumber = 4\nchannels = \"1\"\n"
    "[[module]]\naddress = 3\ntype = \"0104\"\n"
    "[[module]]\naddress = 5\n[[module.input]]\ninput = 2\ntarget = 1\n";

TEST(PlanTests, EveryMistakeInAStepIsReportedWithItsPlace) {
  // Line 15 is the first line after the modules.
  const Mistake mistakes[] = {
      {"[[test]]\nkind = \"blink\"\n", 16, 8, "kind is switch, scene, input or identify, not \"blink\""},
      {"[[test]]\nmodule = 1\n", 15, 1, "missing kind"},
      {"[[test]]\nkind = \"switch\"\nmodule = 9\noutput = 1\naction = \"on\"\n", 17, 10, "module 9 is not in the plan"},
      {"[[test]]\nkind = \"switch\"\nmodule = 3\noutput = 5\naction = \"open\"\n", 18, 10, "output 5 is out of range (1-4)"},
      {"[[test]]\nkind = \"switch\"\nmodule = 3\noutput = 1\naction = \"on\"\n", 19, 10,
       "module 3 switches curtains: its actions are open, close and stop"},
      {"[[test]]\nkind = \"switch\"\nmodule = 1\noutput = 1\naction = \"on\"\nexpect = \"1Z\"\n", 20, 10,
       "an expected output is 0, 1 or X, not 'Z'"},
      {"[[test]]\nkind = \"switch\"\nmodule = 1\noutput = 1\n", 15, 1, "missing action"},
      {"[[test]]\nkind = \"scene\"\nscene = 5\n", 17, 9, "scene 5 is in no module of the plan"},
      {"[[test]]\nkind = \"scene\"\nscene = 4\nmodule = 1\n", 18, 10, "'module' has no meaning in a scene step"},
      {"[[test]]\nkind = \"input\"\nmodule = 5\ninput = 3\n", 18, 9, "input 3 of module 5 is not bound in the plan"},
      {"[[test]]\nkind = \"scene\"\nscene = 4\nwithin = 0\n", 18, 10, "within must be above 0"},
      {"[[test]]\nkind = \"identify\"\nmodule = 1\nwithin = 2\n", 18, 10, "'within' has no meaning in a identify step"},
      {"[[test]]\nkind = \"identify\"\nmodule = 1\nmodul = 1\n", 18, 1, "unknown key 'modul' in [[test]]"},
  };
  for (const Mistake& m : mistakes) {
    SCOPED_TRACE(m.text);
    const ParseResult parsed = ParsePlan(std::string(kModules) + m.text, "site.toml");
    EXPECT_FALSE(parsed.plan);
    ASSERT_FALSE(parsed.errors.empty());
    const Error& e = parsed.errors.front();
    EXPECT_EQ(e.line, m.line) << Describe(e);
    EXPECT_EQ(e.column, m.column) << Describe(e);
    EXPECT_NE(e.message.find(m.says), std::string::npos) << Describe(e);
  }
}

TEST(PlanTests, StepsBesideThePlanAreCheckedAgainstIt) {
  const ParseResult parsed = ParsePlan(kModules, "site.toml");
  ASSERT_TRUE(parsed.plan);
  const TestsResult good =
      ParseTests("[[test]]\nkind = \"identify\"\nmodule = 3\n[[test]]\nkind = \"scene\"\nscene = 4\n", "t.toml",
                 *parsed.plan);
  ASSERT_TRUE(good.tests) << Describe(good.errors.front());
  EXPECT_EQ(good.tests->size(), 2u);
  const TestsResult bad = ParseTests("subnet = 2\n[[test]]\nkind = \"scene\"\nscene = 6\n", "t.toml", *parsed.plan);
  EXPECT_FALSE(bad.tests);
  ASSERT_EQ(bad.errors.size(), 2u);
  EXPECT_EQ(Describe(bad.errors[0]), "t.toml:1:1: unknown key 'subnet' in a file of tests: it holds [[test]] tables only");
  EXPECT_EQ(Describe(bad.errors[1]), "t.toml:4:9: scene 6 is in no module of the plan");
  EXPECT_FALSE(ParseTests("[[test]\n", "t.toml", *parsed.plan).tests);
}

}  // namespace
}  // namespace veltra::plan
