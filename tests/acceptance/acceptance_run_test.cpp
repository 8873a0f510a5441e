// The acceptance run without a link: requests answered by the simulated bus
// in-process (SimBus), or by scripted results where time matters; default
// steps, verdicts and their evidence, the restore, input and identify steps.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "acceptance/acceptance_run.h"
#include "replies/reply_decoder.h"
#include "protocol/command_numbers.h"
#include "sim/sim_bus.h"

namespace veltra::acceptance {
namespace {

using namespace std::chrono_literals;
using plan::TestStep;

plan::Plan Parsed(const std::string& text) {
  plan::ParseResult parsed = plan::ParsePlan(text, "site.toml");
  if (!parsed.plan) ADD_FAILURE() << plan::Describe(parsed.errors.front());
  return parsed.plan.value_or(plan::Plan{});
}

plan::Plan Example() {
  std::ifstream in(VELTRA_EXAMPLE_PLAN);
  std::ostringstream text;
  text << in.rdbuf();
  return Parsed(text.str());
}

// A request answered by the bus as a bus switch would pass it on (routed).
ExchangeResult AskBus(SimBus& bus, PreparedRequest request) {
  ExchangeResult e;
  CompleteFrame(request.buffer.data());
  e.frame.assign(request.buffer.begin(), request.buffer.begin() + request.buffer[2]);
  e.request = std::move(request);
  const SimAnswer answer = bus.Handle(e.frame.data(), e.frame.size(), SimLink::Udp);
  if (answer.replies.empty()) {
    e.outcome = ExchangeOutcome::NoReply;
    return e;
  }
  const SimFrame& reply = answer.replies.front();
  e.outcome = ExchangeOutcome::Answered;
  e.reply = ReceivedUnit{reply, {}, {}};
  e.decoded = DecodeRouted(reply.data(), reply.size(), false);
  e.status = reply[AddressOffset(FrameForm::Routed) + 3];
  e.roundTrip = 1ms;
  return e;
}

// Everything a run asks for: requests go to the bus, time moves on by
// itself, watches see nothing, questions get `answer`.
void RunOnBus(AcceptanceRun& run, SimBus& bus, bool answer = true) {
  SteadyTime now{};
  while (const auto due = run.Next(now)) {
    switch (due->kind) {
      case Due::Kind::Request:
        run.Took(AskBus(bus, run.Build(FrameForm::Routed)), now);
        now += 1ms;
        break;
      case Due::Kind::Pause:
        now = due->until;
        break;
      case Due::Kind::Watch:
        now = due->until;
        run.WatchEnded();
        break;
      case Due::Kind::Confirm:
        run.Confirmed(answer);
        break;
    }
  }
}

// The plan's scenes, stored in the modules of the bus that has them.
void Apply(const plan::Plan& p, SimBus& bus) {
  for (const plan::Module& m : p.modules)
    if (bus.Module(m.address))
      for (const plan::Scene& s : m.scenes) {
      RequestValues v;
      v.ints = {{"ADDR", m.address}, {"SCENE", s.number}};
      v.channelItems = s.channels;
      ASSERT_EQ(AskBus(bus, PrepareRequest(Request(RequestId::SetScene), v, {FrameForm::Routed, p.subnet})).status,
                kStatusOk);
    }
}

std::vector<std::string> Failed(const AcceptanceRun& run) {
  std::vector<std::string> names;
  for (const StepResult& r : run.Results())
    if (r.verdict == Verdict::Failed) names.push_back(r.name);
  return names;
}

TEST(DefaultSteps, EveryOutputOnAndOffThenEveryScene) {
  plan::Plan p = Example();
  p.tests.clear();
  const std::vector<TestStep> steps = DefaultSteps(p);
  // Two light modules of eight outputs and a curtain module of four; the
  // infrared and input modules switch nothing; scenes 1 and 2.
  ASSERT_EQ(steps.size(), 16u + 16u + 8u + 2u);
  EXPECT_EQ(StepName(p, steps[0]), "module 1 (Hall and stairs lights) output 1 on");
  EXPECT_EQ(StepName(p, steps[1]), "module 1 (Hall and stairs lights) output 1 off");
  EXPECT_EQ(StepName(p, steps[32]), "module 3 (Living room curtains) output 1 open");
  EXPECT_EQ(StepName(p, steps[33]), "module 3 (Living room curtains) output 1 close");
  EXPECT_EQ(StepName(p, steps[40]), "scene 1 on modules 1, 2");
  EXPECT_EQ(StepName(p, steps[41]), "scene 2 on module 1");
  // Without a type, the outputs the plan names.
  const plan::Plan untyped = Parsed("[[module]]\naddress = 7\nturn_on_seconds = { 3 = 1 }\n");
  EXPECT_EQ(DefaultSteps(untyped).size(), 6u);
}

TEST(AcceptanceRun, PassesOnTheBusThePlanWasAppliedToAndSetsTheOutputsBack) {
  plan::Plan p = Example();
  p.tests.clear();
  SimBus bus;
  Apply(p, bus);
  // Outputs as found before the test, to be found again after it.
  ASSERT_EQ(AskBus(bus, PrepareRequest(Request(RequestId::LightOn), {{{"ADDR", 2}, {"OUTPUT", 4}}, {}, {}, {}},
                                       {FrameForm::Routed, 1}))
                .status,
            kStatusOk);
  const auto before = bus.Module(2)->outputs;
  AcceptanceRun run(p, {});
  RunOnBus(run, bus);
  EXPECT_EQ(run.Results().size(), 42u);
  EXPECT_EQ(run.Count(Verdict::Passed), 42) << testing::PrintToString(Failed(run));
  EXPECT_EQ(run.ExitStatus(), 0);
  EXPECT_EQ(bus.Module(2)->outputs, before);
  EXPECT_TRUE(run.RestoreProblems().empty());
  // Each switch step: the action, then the status read that checks it.
  const StepResult& first = run.Results()[0];
  ASSERT_EQ(first.exchanges.size(), 2u);
  EXPECT_EQ(first.exchanges[0].purpose, "On output 1 of module 1 (Hall and stairs lights)");
  EXPECT_EQ(first.exchanges[1].outputs.size(), 8u);
  EXPECT_TRUE(first.exchanges[1].outputs[0]);
}

TEST(AcceptanceRun, AModuleThatIgnoresScenesFailsExactlyTheSceneSteps) {
  plan::Plan p = Example();
  p.tests.clear();
  std::vector<ModuleSetup> population = DefaultPopulation();
  ApplyModuleFault(population, "1:ignore-scenes");
  SimBus bus(population);
  Apply(p, bus);
  AcceptanceRun run(p, {});
  RunOnBus(run, bus);
  EXPECT_EQ(Failed(run), (std::vector<std::string>{"scene 1 on modules 1, 2", "scene 2 on module 1"}));
  // Scene 2 sets what the outputs already were after the switch steps: set
  // the other way first, so ignoring it shows.
  const StepResult& scene2 = run.Results().back();
  EXPECT_NE(scene2.evidence.find("module 1 (Hall and stairs lights): status 11110000, expected 0000"),
            std::string::npos)
      << scene2.evidence;
  EXPECT_EQ(run.Results()[40].evidence.find("module 2"), std::string::npos) << "module 2 took scene 1";
  EXPECT_EQ(run.ExitStatus(), 3);
}

TEST(AcceptanceRun, AMissingModuleFailsItsStepsWithNoReplyAndNothingElse) {
  plan::Plan p = Example();
  p.tests.clear();
  SimBus bus(ParsePopulation("light@1,curtain@3,ir@4,input@5"));
  Apply(p, bus);  // module 2's scene goes nowhere
  AcceptanceRun run(p, {});
  RunOnBus(run, bus);
  std::vector<std::string> expected;
  for (int output = 1; output <= 8; ++output)
    for (const char* action : {"on", "off"})
      expected.push_back("module 2 (Living room lights) output " + std::to_string(output) + " " + action);
  expected.push_back("scene 1 on modules 1, 2");
  EXPECT_EQ(Failed(run), expected);
  EXPECT_EQ(run.Results()[16].evidence, "On output 1 answered no reply");
  const std::string& scene = run.Results()[40].evidence;
  EXPECT_NE(scene.find("module 2 (Living room lights): Off output 1 (before the scene) answered no reply"),
            std::string::npos)
      << scene;
  EXPECT_EQ(scene.find("module 1"), std::string::npos) << "module 1 took the scene: " << scene;
  EXPECT_EQ(run.ExitStatus(), 3);

  SimBus empty(ParsePopulation("ir@9"));
  AcceptanceRun silent(p, {});
  RunOnBus(silent, empty);
  EXPECT_EQ(silent.ExitStatus(), 4) << "nothing answered at all";
  EXPECT_EQ(silent.Answered(), 0);
}

// A result made by hand: a status read answering these outputs.
ExchangeResult Status(std::vector<bool> outputs) {
  ExchangeResult e;
  e.outcome = ExchangeOutcome::Answered;
  e.status = kStatusOk;
  e.decoded.statusWord = "OK!";
  e.decoded.effect = ReplyEffect::StatusBytes;
  e.decoded.statusBits = std::move(outputs);
  return e;
}
ExchangeResult Ok() {
  ExchangeResult e = Status({});
  e.decoded.effect = ReplyEffect::None;
  return e;
}

TEST(AcceptanceRun, ASwitchStepReadsAgainUntilItsTimeIsUp) {
  const plan::Plan p = Parsed(
      "[[module]]\naddress = 3\ntype = \"0104\"\n"
      "[[test]]\nkind = \"switch\"\nmodule = 3\noutput = 2\naction = \"open\"\nwithin = 0.5\n"
      "[[test]]\nkind = \"switch\"\nmodule = 3\noutput = 1\naction = \"close\"\nexpect = \"0 1\"\nwithin = 0.3\n");
  AcceptanceRun run(p, {false, true, 100});
  SteadyTime now{};
  auto due = run.Next(now);
  ASSERT_EQ(due->kind, Due::Kind::Request);  // the status before the test
  run.Took(Status({false, false, false, false}), now);
  // Step 1: open, then closed at the first read and open at the third.
  ASSERT_EQ(run.Next(now)->kind, Due::Kind::Request);
  EXPECT_EQ(run.Build(FrameForm::Routed).spec->id, RequestId::CurtainOpen);
  run.Took(Ok(), now);
  for (int read = 0; read < 3; ++read) {
    due = run.Next(now);
    if (due->kind == Due::Kind::Pause) {
      EXPECT_EQ(due->until, now + 100ms);
      now = due->until;
      due = run.Next(now);
    }
    ASSERT_EQ(due->kind, Due::Kind::Request);
    EXPECT_EQ(run.Build(FrameForm::Routed).spec->id, RequestId::ReadStatus);
    run.Took(Status({false, read == 2, false, false}), now);
  }
  ASSERT_EQ(run.Results().size(), 1u);
  EXPECT_EQ(run.Results()[0].verdict, Verdict::Passed);
  EXPECT_EQ(run.Results()[0].exchanges.size(), 4u);
  // Step 2: output 2 must stay open, and never does within 0.3 s.
  ASSERT_EQ(run.Next(now)->kind, Due::Kind::Request);
  run.Took(Ok(), now);
  const SteadyTime started = now;
  while (run.Results().size() < 2) {
    due = run.Next(now);
    ASSERT_TRUE(due);
    if (due->kind == Due::Kind::Pause) {
      now = due->until;
      continue;
    }
    run.Took(Status({false, false, false, false}), now);
  }
  EXPECT_LE(now - started, 300ms);
  const StepResult& failed = run.Results()[1];
  EXPECT_EQ(failed.verdict, Verdict::Failed);
  EXPECT_EQ(failed.evidence, "module 3: status 0000, expected 01: output 2 closed, expected open");
  EXPECT_FALSE(run.Next(now)) << "--leave: nothing set back";
  EXPECT_EQ(run.ExitStatus(), 3);
}

constexpr const char* kInputPlan =
    "[[module]]\naddress = 1\ntype = \"0208\"\n"
    "[[module]]\naddress = 5\ntype = \"0408\"\nname = \"Door\"\n"
    "[[module.input]]\ninput = 3\nfunction = \"Toggle Light\"\ntarget = 1\noutput = 4\n"
    "[[test]]\nkind = \"input\"\nmodule = 5\ninput = 3\nwithin = 5\n"
    "[[test]]\nkind = \"identify\"\nmodule = 1\n";

Bytes Frame(int address, int cls, int command, std::vector<std::uint8_t> params) {
  SimRequest r;
  r.form = FrameForm::Routed;
  r.subnet = 1;
  r.address = address;
  r.cls = cls;
  r.command = command;
  r.params = std::move(params);
  return BuildRequestFrame(r, FrameForm::Routed);
}

TEST(AcceptanceRun, InputStepsWatchForThePredictedFrameWhenSomeoneIsThere) {
  const plan::Plan p = Parsed(kInputPlan);
  // Nobody there: both steps are the operator's, though the module is asked.
  SimBus bus;
  AcceptanceRun alone(p, {});
  RunOnBus(alone, bus);
  ASSERT_EQ(alone.Results().size(), 2u);
  EXPECT_EQ(alone.Results()[0].verdict, Verdict::Manual);
  EXPECT_EQ(alone.Results()[0].evidence,
            "Press input 3 on module 5 (Door) and see Toggle to module 1 output 4: needs an operator");
  EXPECT_EQ(alone.Results()[1].verdict, Verdict::Manual);
  EXPECT_EQ(alone.Results()[1].exchanges.size(), 1u);
  EXPECT_EQ(alone.ExitStatus(), 0);

  AcceptanceRun run(p, {true, true, 100});
  const SteadyTime start{};
  const auto watch = run.Next(start);
  ASSERT_EQ(watch->kind, Due::Kind::Watch);
  EXPECT_EQ(watch->until, start + 5s);
  EXPECT_EQ(watch->text, "Press input 3 on module 5 (Door) (waiting up to 5 s for Toggle to module 1 output 4)");
  // Another output, another module, another command: not it.
  EXPECT_FALSE(run.Heard(Frame(1, ClassLight, 3, {2, 0xFF}), FrameForm::Routed));
  EXPECT_FALSE(run.Heard(Frame(2, ClassLight, 3, {3, 0xFF}), FrameForm::Routed));
  EXPECT_FALSE(run.Heard(Frame(1, ClassLight, 1, {3, 0xFF}), FrameForm::Routed));
  Bytes broken = Frame(1, ClassLight, 3, {3, 0xFF});
  broken.back() ^= 1;
  EXPECT_FALSE(run.Heard(broken, FrameForm::Routed)) << "a bad checksum";
  EXPECT_TRUE(run.Heard(Frame(1, ClassLight, 3, {3, 0xFF}), FrameForm::Routed));
  ASSERT_EQ(run.Results().size(), 1u);
  EXPECT_EQ(run.Results()[0].verdict, Verdict::Passed);
  EXPECT_EQ(run.Results()[0].heard.size(), 5u) << "every frame heard is evidence";
  // Identify: "Test", then the operator's word.
  ASSERT_EQ(run.Next(start)->kind, Due::Kind::Request);
  EXPECT_EQ(run.Build(FrameForm::Routed).spec->id, RequestId::TestModule);
  run.Took(Ok(), start);
  const auto ask = run.Next(start);
  ASSERT_EQ(ask->kind, Due::Kind::Confirm);
  EXPECT_EQ(ask->text, "Did module 1 blink?");
  run.Confirmed(false);
  EXPECT_EQ(run.Results()[1].verdict, Verdict::Failed);
  EXPECT_EQ(run.Results()[1].evidence, "the operator saw no blink");

  AcceptanceRun late(p, {true, true, 100});
  ASSERT_EQ(late.Next(start)->kind, Due::Kind::Watch);
  EXPECT_FALSE(late.Heard(Frame(1, ClassLight, 3, {2, 0xFF}), FrameForm::Routed));
  late.WatchEnded();
  EXPECT_EQ(late.Results()[0].evidence, "no Toggle to module 1 output 4 within 5 s (1 other frames heard)");
  late.Stop();
  EXPECT_FALSE(late.Next(start));
  EXPECT_EQ(late.Results().size(), 1u) << "the identify step was not run";
}

TEST(AcceptanceRun, ScenesAndAllOutputsArePredictedForEveryModule) {
  const plan::Plan p = Parsed(
      "[[module]]\naddress = 1\ntype = \"0208\"\n[[module.scene]]\nnumber = 7\nchannels = \"1\"\n"
      "[[module]]\naddress = 5\ntype = \"0408\"\n"
      "[[module.input]]\ninput = 1\nfunction = \"Scene\"\nparameter = 7\n"
      "[[module.input]]\ninput = 2\nfunction = \"Turn off All Lights\"\n"
      "[[test]]\nkind = \"input\"\nmodule = 5\ninput = 1\n"
      "[[test]]\nkind = \"input\"\nmodule = 5\ninput = 2\n");
  AcceptanceRun run(p, {true, true, 100});
  ASSERT_EQ(run.Next({})->kind, Due::Kind::Watch);
  EXPECT_FALSE(run.Heard(Frame(255, ClassSystem, system_command::TestScene, {0xFF, 6}), FrameForm::Routed));
  EXPECT_TRUE(run.Heard(Frame(255, ClassSystem, system_command::TestScene, {0xFF, 7}), FrameForm::Routed));
  ASSERT_EQ(run.Next({})->kind, Due::Kind::Watch);
  EXPECT_FALSE(run.Heard(Frame(1, ClassLight, light_command::AllOff, {0xFF, 0xFF}), FrameForm::Routed));
  EXPECT_TRUE(run.Heard(Frame(255, ClassLight, light_command::AllOff, {0xFF, 0xFF}), FrameForm::Routed));
  EXPECT_EQ(run.Count(Verdict::Passed), 2);
}

}  // namespace
}  // namespace veltra::acceptance
