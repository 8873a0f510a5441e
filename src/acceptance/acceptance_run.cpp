#include "acceptance/acceptance_run.h"

#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include "plan/test_tables.h"
#include "protocol/command_numbers.h"
#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"
#include "protocol/status_words.h"

namespace veltra::acceptance {

using plan::TestStep;

namespace {

constexpr int kSwitchWithinMs = 1000;
constexpr int kSceneWithinMs = 1000;
constexpr int kInputWithinMs = 10000;

std::string Label(const plan::Plan& plan, int address) {
  const plan::Module* m = plan::FindModule(plan, address);
  std::string label = "module " + std::to_string(address);
  return m && !m->name.empty() ? label + " (" + m->name + ")" : label;
}

std::string_view ActionWord(TestStep::Action action) {
  switch (action) {
    case TestStep::Action::On: return "on";
    case TestStep::Action::Off: return "off";
    case TestStep::Action::Open: return "open";
    case TestStep::Action::Close: return "close";
    case TestStep::Action::Stop: return "stop";
  }
  return {};
}

RequestId ActionRequest(TestStep::Action action) {
  switch (action) {
    case TestStep::Action::On: return RequestId::LightOn;
    case TestStep::Action::Off: return RequestId::LightOff;
    case TestStep::Action::Open: return RequestId::CurtainOpen;
    case TestStep::Action::Close: return RequestId::CurtainClose;
    case TestStep::Action::Stop: return RequestId::CurtainStop;
  }
  return RequestId::LightOn;
}

// Outputs of a module that switches: from its type's channel count, else the
// highest output the plan names for it.
int OutputsOf(const plan::Plan& plan, const plan::Module& m) {
  if (m.type && m.type->size() == 4) {
    const int count = std::stoi(m.type->substr(2), nullptr, 16);
    if (count > 0) return std::min(count, plan::kLightOutputs);
  }
  int highest = 0;
  for (const plan::OutputTime& t : m.turnOnSeconds) highest = std::max(highest, t.output);
  for (const plan::OutputTime& t : m.travelTenths) highest = std::max(highest, t.output);
  for (const plan::Scene& s : m.scenes)
    for (std::size_t i = 0; i < s.channels.size(); ++i)
      if (s.channels[i] != kNoChangeItem) highest = std::max(highest, static_cast<int>(i) + 1);
  for (const plan::Module& other : plan.modules)
    for (const plan::Binding& b : other.bindings)
      if (b.target == m.address) highest = std::max(highest, b.output);
  return highest;
}

// The frame a bound input makes its module send, as far as the plan tells it.
struct Prediction {
  int cls = 0, command = 0;
  int address = 0;                 // the target module, or 255 for every module
  std::optional<int> output;       // P0 of a one-output request (from 0)
  std::optional<int> scene;        // P1 of a scene request
  std::string text;
};

std::optional<Prediction> Predict(const plan::Plan& plan, const TestStep& step) {
  const plan::Module* m = plan::FindModule(plan, step.module);
  if (!m) return std::nullopt;
  for (const plan::Binding& b : m->bindings) {
    if (b.input != step.input) continue;
    const auto functions = InputFunctions();
    if (b.function < 0 || b.function >= static_cast<int>(functions.size())) return std::nullopt;
    const InputFunction& fn = functions[static_cast<std::size_t>(b.function)];
    Prediction p;
    p.cls = fn.targetClass;
    p.command = fn.targetCommand;
    p.address = kFiller;
    const std::string name(CommandName(static_cast<std::uint8_t>(p.cls), static_cast<std::uint8_t>(p.command)));
    switch (fn.target) {
      case InputFunction::Target::OneOutput:
        p.address = b.target;
        p.output = b.output - 1;
        p.text = name + " to " + Label(plan, b.target) + " output " + std::to_string(b.output);
        break;
      case InputFunction::Target::AllOutputs:
        p.text = name + " to every module";
        break;
      case InputFunction::Target::Scene:
        p.scene = b.parameter;
        p.text = name + " of scene " + std::to_string(b.parameter);
        break;
    }
    return p;
  }
  return std::nullopt;
}

bool Matches(const Prediction& p, const Bytes& frame, FrameForm form, int subnet) {
  const int length = static_cast<int>(frame.size());
  if (length < FrameLength(form, 0) || frame[0] != kHeader0 || frame[1] != kHeader1 || frame[2] != length)
    return false;
  const std::uint16_t sum = FrameChecksum(frame.data(), length);
  if (frame[length - 2] != (sum >> 8) || frame[length - 1] != (sum & 0xFF)) return false;
  if (form == FrameForm::Routed && frame[3] * 256 + frame[4] != subnet) return false;
  if (frame[ClassOffset(form)] != p.cls || frame[CommandOffset(form)] != p.command ||
      frame[AddressOffset(form)] != p.address)
    return false;
  const int first = FirstParameterOffset(form);
  const int parameters = length - 2 - first;
  if (p.output && (parameters < 1 || frame[first] != *p.output)) return false;
  if (p.scene && (parameters < 2 || frame[first + 1] != *p.scene)) return false;
  return true;
}

std::string States(const std::vector<bool>& outputs) {
  std::string text;
  for (bool on : outputs) text += on ? '1' : '0';
  return text;
}

std::string Codes(const std::vector<int>& items) {
  std::string text;
  for (int item : items) text += ChannelCode(item);
  return text;
}

bool Ok(const ExchangeResult& e) { return e.outcome == ExchangeOutcome::Answered && e.status == kStatusOk; }

std::string Outcome(const ExchangeResult& e) {
  switch (e.outcome) {
    case ExchangeOutcome::Answered: return e.decoded.statusWord.empty() ? "Response error!" : e.decoded.statusWord;
    case ExchangeOutcome::NoReply: return "no reply";
    case ExchangeOutcome::NotSent: return "not sent";
    case ExchangeOutcome::Refused: return "refused by the link";
    case ExchangeOutcome::Failed: return "failed: " + e.error;
  }
  return {};
}

}  // namespace

std::string_view VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Passed: return "passed";
    case Verdict::Failed: return "failed";
    case Verdict::Manual: return "manual";
  }
  return {};
}

std::vector<TestStep> DefaultSteps(const plan::Plan& plan) {
  std::vector<TestStep> steps;
  for (const plan::Module& m : plan.modules) {
    const std::optional<bool> lights = plan::SwitchesLights(m);
    if (!lights) continue;
    // An array, not a conditional between two initializer lists: those lists'
    // elements would be gone before the loop runs.
    using A = TestStep::Action;
    const std::array<A, 2> actions = *lights ? std::array<A, 2>{A::On, A::Off} : std::array<A, 2>{A::Open, A::Close};
    for (int output = 1; output <= OutputsOf(plan, m); ++output) {
      for (const A action : actions) {
        TestStep step;
        step.kind = TestStep::Kind::Switch;
        step.module = m.address;
        step.output = output;
        step.action = action;
        steps.push_back(step);
      }
    }
  }
  std::set<int> scenes;
  for (const plan::Module& m : plan.modules)
    for (const plan::Scene& s : m.scenes) scenes.insert(s.number);
  for (int number : scenes) {
    TestStep step;
    step.kind = TestStep::Kind::Scene;
    step.scene = number;
    steps.push_back(step);
  }
  return steps;
}

std::string StepName(const plan::Plan& plan, const TestStep& step) {
  if (!step.name.empty()) return step.name;
  switch (step.kind) {
    case TestStep::Kind::Switch:
      return Label(plan, step.module) + " output " + std::to_string(step.output) + " " +
             std::string(ActionWord(step.action));
    case TestStep::Kind::Scene: {
      std::string rows;
      for (const plan::Module& m : plan.modules)
        for (const plan::Scene& s : m.scenes)
          if (s.number == step.scene) rows += (rows.empty() ? "" : ", ") + std::to_string(m.address);
      return "scene " + std::to_string(step.scene) + " on module" + (rows.find(',') == std::string::npos ? " " : "s ") +
             rows;
    }
    case TestStep::Kind::Input: {
      const auto p = Predict(plan, step);
      return Label(plan, step.module) + " input " + std::to_string(step.input) + (p ? ": " + p->text : "");
    }
    case TestStep::Kind::Identify:
      return Label(plan, step.module) + " identifies itself";
  }
  return {};
}

struct AcceptanceRun::Op {
  Due::Kind kind = Due::Kind::Request;
  const RequestSpec* spec = nullptr;
  RequestValues values;
  std::string purpose;  // Request; Watch and Confirm: the operator's text
  int waitMs = 0;       // Pause, Watch: from when it falls due
  std::optional<SteadyTime> until;
  std::function<void(const ExchangeResult&, SteadyTime)> took;
  std::function<bool(const Bytes&, FrameForm)> heard;
  std::function<void()> ended;
  std::function<void(bool)> confirmed;
};

AcceptanceRun::AcceptanceRun(plan::Plan plan, RunOptions options)
    : plan_(std::move(plan)), options_(options) {
  steps_ = plan_.tests.empty() ? DefaultSteps(plan_) : plan_.tests;
  // The modules whose outputs the steps switch: their states are read now
  // and set back at the end.
  std::set<int> touched;
  for (const TestStep& step : steps_) {
    if (step.kind == TestStep::Kind::Switch) touched.insert(step.module);
    if (step.kind == TestStep::Kind::Scene)
      for (const plan::Module& m : plan_.modules)
        for (const plan::Scene& s : m.scenes)
          if (s.number == step.scene) touched.insert(m.address);
  }
  for (int address : touched) {
    Op op;
    op.spec = &Request(RequestId::ReadStatus);
    op.values.ints["ADDR"] = address;
    op.purpose = "ReadStatus before the test";
    op.took = [this, address](const ExchangeResult& e, SteadyTime) {
      snapshot_.push_back(Record(e, "ReadStatus of " + Label(plan_, address) + " before the test"));
      if (e.outcome == ExchangeOutcome::Answered && e.decoded.effect == ReplyEffect::StatusBytes)
        saved_[address] = e.decoded.statusBits;
    };
    Queue(std::move(op));
  }
}

AcceptanceRun::~AcceptanceRun() = default;

void AcceptanceRun::Queue(Op op) { ops_.push_back(std::move(op)); }

std::optional<Due> AcceptanceRun::Next(SteadyTime now) {
  for (;;) {
    if (stopped_) {
      phase_ = Phase::Done;
      return std::nullopt;
    }
    if (!ops_.empty()) {
      Op& op = ops_.front();
      switch (op.kind) {
        case Due::Kind::Request:
          return Due{Due::Kind::Request, op.purpose, {}};
        case Due::Kind::Pause:
          if (!op.until) op.until = now + std::chrono::milliseconds(op.waitMs);
          if (now >= *op.until) {
            ops_.pop_front();
            continue;
          }
          return Due{Due::Kind::Pause, {}, *op.until};
        case Due::Kind::Watch:
          if (!op.until) op.until = now + std::chrono::milliseconds(op.waitMs);
          return Due{Due::Kind::Watch, op.purpose, *op.until};
        case Due::Kind::Confirm:
          return Due{Due::Kind::Confirm, op.purpose, {}};
      }
    }
    switch (phase_) {
      case Phase::Snapshot:
        phase_ = Phase::Steps;
        continue;
      case Phase::Steps:
        if (next_ < steps_.size()) {
          StartStep(now);
          continue;
        }
        phase_ = Phase::Restore;
        if (!options_.leave) StartRestore();
        continue;
      case Phase::Restore:
        phase_ = Phase::Done;
        return std::nullopt;
      case Phase::Done:
        return std::nullopt;
    }
  }
}

PreparedRequest AcceptanceRun::Build(FrameForm form) const {
  if (ops_.empty() || ops_.front().kind != Due::Kind::Request) throw std::logic_error("no request is due");
  const Op& op = ops_.front();
  return PrepareRequest(*op.spec, op.values, {form, plan_.subnet});
}

void AcceptanceRun::Took(const ExchangeResult& result, SteadyTime now) {
  if (ops_.empty() || ops_.front().kind != Due::Kind::Request) return;
  Op op = std::move(ops_.front());
  ops_.pop_front();
  ++requests_;
  if (result.outcome == ExchangeOutcome::Answered) ++answered_;
  if (op.took) op.took(result, now);
}

bool AcceptanceRun::Heard(const Bytes& frame, FrameForm form) {
  if (ops_.empty() || ops_.front().kind != Due::Kind::Watch) return false;
  // The watch's handler ends the step (and so the watch) when it matches.
  const Op op = ops_.front();
  return op.heard(frame, form);
}

void AcceptanceRun::WatchEnded() {
  if (ops_.empty() || ops_.front().kind != Due::Kind::Watch) return;
  Op op = std::move(ops_.front());
  ops_.pop_front();
  if (op.ended) op.ended();
}

void AcceptanceRun::Confirmed(bool yes) {
  if (ops_.empty() || ops_.front().kind != Due::Kind::Confirm) return;
  Op op = std::move(ops_.front());
  ops_.pop_front();
  if (op.confirmed) op.confirmed(yes);
}

void AcceptanceRun::Stop() {
  stopped_ = true;
  ops_.clear();
  current_.reset();
  phase_ = Phase::Done;
}

Exchanged AcceptanceRun::Record(const ExchangeResult& e, const std::string& purpose) {
  Exchanged x;
  x.purpose = purpose;
  x.request = e.frame;
  if (e.reply) x.reply = e.reply->bytes;
  x.statusWord = Outcome(e);
  if (e.outcome == ExchangeOutcome::Answered)
    x.roundTripMs = std::chrono::duration<double, std::milli>(e.roundTrip).count();
  if (e.outcome == ExchangeOutcome::Answered && e.decoded.effect == ReplyEffect::StatusBytes) x.outputs = e.decoded.statusBits;
  if (current_ && phase_ == Phase::Steps) current_->exchanges.push_back(x);
  return x;
}

bool AcceptanceRun::Lights(int module) const {
  if (const plan::Module* m = plan::FindModule(plan_, module))
    if (const auto lights = plan::SwitchesLights(*m)) return *lights;
  for (const TestStep& step : steps_)
    if (step.kind == TestStep::Kind::Switch && step.module == module)
      return step.action == TestStep::Action::On || step.action == TestStep::Action::Off;
  return true;
}

void AcceptanceRun::StartStep(SteadyTime) {
  const TestStep& step = steps_[next_++];
  current_ = StepResult{StepName(plan_, step), step, Verdict::Passed, {}, {}, {}};
  switch (step.kind) {
    case TestStep::Kind::Switch:
      QueueSwitch(step);
      break;
    case TestStep::Kind::Scene:
      QueueScene(step);
      break;
    case TestStep::Kind::Identify:
      QueueIdentify(step);
      break;
    case TestStep::Kind::Input: {
      const auto p = Predict(plan_, step);
      const std::string press = "Press input " + std::to_string(step.input) + " on " + Label(plan_, step.module);
      if (!p) {
        EndStep(Verdict::Failed, "the plan binds nothing to input " + std::to_string(step.input));
        return;
      }
      if (!options_.interactive) {
        EndStep(Verdict::Manual, press + " and see " + p->text + ": needs an operator");
        return;
      }
      const int within = step.withinMs ? step.withinMs : kInputWithinMs;
      Op op;
      op.kind = Due::Kind::Watch;
      op.waitMs = within;
      op.purpose = press + " (waiting up to " + std::to_string((within + 999) / 1000) + " s for " + p->text + ")";
      op.heard = [this, p = *p](const Bytes& frame, FrameForm form) {
        if (current_) current_->heard.push_back(frame);
        if (!Matches(p, frame, form, plan_.subnet)) return false;
        EndStep(Verdict::Passed, "heard " + p.text);
        return true;
      };
      op.ended = [this, p = *p, within] {
        const std::size_t others = current_ ? current_->heard.size() : 0;
        EndStep(Verdict::Failed, "no " + p.text + " within " + std::to_string((within + 999) / 1000) + " s" +
                                     (others ? " (" + std::to_string(others) + " other frames heard)" : ""));
      };
      Queue(std::move(op));
      break;
    }
  }
}

void AcceptanceRun::EndStep(Verdict verdict, std::string evidence) {
  if (!current_) return;
  current_->verdict = verdict;
  current_->evidence = std::move(evidence);
  results_.push_back(std::move(*current_));
  current_.reset();
  ops_.clear();
}

void AcceptanceRun::QueueStatusCheck(int module, std::vector<int> expected, SteadyTime deadline,
                                     std::function<void(bool, const std::string&)> done) {
  Op op;
  op.spec = &Request(RequestId::ReadStatus);
  op.values.ints["ADDR"] = module;
  op.purpose = "ReadStatus";
  op.took = [this, module, expected, deadline, done](const ExchangeResult& e, SteadyTime now) {
    Record(e, "ReadStatus of " + Label(plan_, module));
    if (e.outcome != ExchangeOutcome::Answered || e.decoded.effect != ReplyEffect::StatusBytes) {
      done(false, Label(plan_, module) + ": ReadStatus " + (e.outcome == ExchangeOutcome::Answered ? "answered " : "") +
                      Outcome(e));
      return;
    }
    const std::vector<bool>& bits = e.decoded.statusBits;
    std::string wrong;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (expected[i] == kNoChangeItem) continue;
      const bool lights = Lights(module);
      const auto state = [lights](int on) { return std::string(on ? (lights ? "on" : "open") : (lights ? "off" : "closed")); };
      if (i >= bits.size())
        wrong += (wrong.empty() ? "" : ", ") + std::string("output ") + std::to_string(i + 1) + " not reported";
      else if (static_cast<int>(bits[i]) != expected[i])
        wrong += (wrong.empty() ? "" : ", ") + std::string("output ") + std::to_string(i + 1) + " " + state(bits[i]) +
                 ", expected " + state(expected[i]);
    }
    if (wrong.empty()) {
      done(true, Label(plan_, module) + ": status " + States(bits) + " as expected (" + Codes(expected) + ")");
      return;
    }
    if (now + std::chrono::milliseconds(options_.pollMs) < deadline) {
      // Not yet: read again after a pause, until the step's time is up.
      Op pause;
      pause.kind = Due::Kind::Pause;
      pause.waitMs = options_.pollMs;
      Queue(std::move(pause));
      QueueStatusCheck(module, expected, deadline, done);
      return;
    }
    done(false, Label(plan_, module) + ": status " + States(bits) + ", expected " + Codes(expected) + ": " + wrong);
  };
  Queue(std::move(op));
}

void AcceptanceRun::QueueSwitch(const TestStep& step) {
  Op op;
  op.spec = &Request(ActionRequest(step.action));
  op.values.ints["ADDR"] = step.module;
  op.values.ints["OUTPUT"] = step.output;
  op.purpose = std::string(op.spec->name) + " output " + std::to_string(step.output);
  std::vector<int> expected = step.expect;
  if (expected.empty() && step.action != TestStep::Action::Stop) {
    expected.assign(static_cast<std::size_t>(step.output), kNoChangeItem);
    expected.back() = step.action == TestStep::Action::On || step.action == TestStep::Action::Open ? 1 : 0;
  }
  int within = step.withinMs;
  if (!within) {
    within = kSwitchWithinMs;
    // A curtain may take its travel time to get there.
    if (const plan::Module* m = plan::FindModule(plan_, step.module))
      for (const plan::OutputTime& t : m->travelTenths)
        if (t.output == step.output) within += t.value * 100;
  }
  op.took = [this, module = step.module, expected, within, purpose = op.purpose](const ExchangeResult& e,
                                                                                  SteadyTime now) {
    Record(e, purpose + " of " + Label(plan_, module));
    if (!Ok(e)) {
      EndStep(Verdict::Failed, purpose + " answered " + Outcome(e));
      return;
    }
    QueueStatusCheck(module, expected, now + std::chrono::milliseconds(within),
                     [this](bool ok, const std::string& evidence) {
                       EndStep(ok ? Verdict::Passed : Verdict::Failed, evidence);
                     });
  };
  Queue(std::move(op));
}

void AcceptanceRun::QueueScene(const TestStep& step) {
  struct Row {
    int module;
    std::vector<int> channels;
  };
  std::vector<Row> rows;
  for (const plan::Module& m : plan_.modules)
    for (const plan::Scene& s : m.scenes)
      if (s.number == step.scene) rows.push_back({m.address, s.channels});
  // Every output the scene sets is first set the other way, so that a
  // module that ignores the scene shows it.
  auto silent = std::make_shared<std::set<int>>();
  auto failures = std::make_shared<std::vector<std::string>>();
  for (const Row& row : rows) {
    const bool lights = Lights(row.module);
    for (std::size_t i = 0; i < row.channels.size(); ++i) {
      if (row.channels[i] == kNoChangeItem) continue;
      const bool on = row.channels[i] == 0;  // the opposite of the scene's
      Op op;
      op.spec = &Request(lights ? (on ? RequestId::LightOn : RequestId::LightOff)
                                : (on ? RequestId::CurtainOpen : RequestId::CurtainClose));
      op.values.ints["ADDR"] = row.module;
      op.values.ints["OUTPUT"] = static_cast<int>(i) + 1;
      op.purpose = std::string(op.spec->name) + " output " + std::to_string(i + 1) + " (before the scene)";
      op.took = [this, module = row.module, purpose = op.purpose, silent, failures](const ExchangeResult& e,
                                                                                   SteadyTime) {
        Record(e, purpose + " of " + Label(plan_, module));
        if (Ok(e)) return;
        failures->push_back(Label(plan_, module) + ": " + purpose + " answered " + Outcome(e));
        if (e.outcome != ExchangeOutcome::Answered && silent->insert(module).second) {
          // Nothing more to a module that does not answer.
          std::erase_if(ops_, [module](const Op& o) { return o.spec && o.values.ints.count("ADDR") && o.values["ADDR"] == module; });
        }
      };
      Queue(std::move(op));
    }
  }
  Op run;
  run.spec = &Request(RequestId::TestScene);
  run.values.ints["SCENE"] = step.scene;
  run.purpose = "TestScene " + std::to_string(step.scene);
  const int within = step.withinMs ? step.withinMs : kSceneWithinMs;
  run.took = [this, rows, within, silent, failures, purpose = run.purpose](const ExchangeResult& e, SteadyTime now) {
    Record(e, purpose);
    if (!Ok(e)) {
      failures->push_back(purpose + " answered " + Outcome(e));
      std::string evidence;
      for (const std::string& f : *failures) evidence += (evidence.empty() ? "" : "; ") + f;
      EndStep(Verdict::Failed, evidence);
      return;
    }
    auto left = std::make_shared<int>(0);
    for (const Row& row : rows)
      if (!silent->count(row.module)) ++*left;
    auto finish = [this, failures] {
      std::string evidence;
      for (const std::string& f : *failures) evidence += (evidence.empty() ? "" : "; ") + f;
      EndStep(failures->empty() ? Verdict::Passed : Verdict::Failed,
              failures->empty() ? "every module's outputs as the scene sets them" : evidence);
    };
    if (*left == 0) {
      finish();
      return;
    }
    for (const Row& row : rows) {
      if (silent->count(row.module)) continue;
      QueueStatusCheck(row.module, row.channels, now + std::chrono::milliseconds(within),
                       [left, failures, finish](bool ok, const std::string& evidence) {
                         if (!ok) failures->push_back(evidence);
                         if (--*left == 0) finish();
                       });
    }
  };
  Queue(std::move(run));
}

void AcceptanceRun::QueueIdentify(const TestStep& step) {
  Op op;
  op.spec = &Request(RequestId::TestModule);
  op.values.ints["ADDR"] = step.module;
  op.purpose = "TestModule";
  op.took = [this, module = step.module](const ExchangeResult& e, SteadyTime) {
    Record(e, "TestModule of " + Label(plan_, module));
    if (!Ok(e)) {
      EndStep(Verdict::Failed, "TestModule answered " + Outcome(e));
      return;
    }
    if (!options_.interactive) {
      EndStep(Verdict::Manual, "TestModule answered OK!; whether it blinked needs an operator");
      return;
    }
    Op ask;
    ask.kind = Due::Kind::Confirm;
    ask.purpose = "Did " + Label(plan_, module) + " blink?";
    ask.confirmed = [this](bool yes) {
      EndStep(yes ? Verdict::Passed : Verdict::Failed,
              yes ? "the operator saw it blink" : "the operator saw no blink");
    };
    Queue(std::move(ask));
  };
  Queue(std::move(op));
}

void AcceptanceRun::StartRestore() {
  for (const auto& [address, before] : saved_) {
    Op read;
    read.spec = &Request(RequestId::ReadStatus);
    read.values.ints["ADDR"] = address;
    read.purpose = "ReadStatus after the test";
    read.took = [this, address, before](const ExchangeResult& e, SteadyTime) {
      restore_.push_back(Record(e, "ReadStatus of " + Label(plan_, address) + " after the test"));
      if (e.outcome != ExchangeOutcome::Answered || e.decoded.effect != ReplyEffect::StatusBytes) {
        restoreProblems_.push_back(Label(plan_, address) + ": ReadStatus answered " + Outcome(e) +
                                   "; its outputs were not set back");
        return;
      }
      const bool lights = Lights(address);
      const std::vector<bool>& now = e.decoded.statusBits;
      std::vector<Op> sets;
      for (std::size_t i = 0; i < before.size() && i < now.size(); ++i) {
        if (before[i] == now[i]) continue;
        Op set;
        set.spec = &Request(lights ? (before[i] ? RequestId::LightOn : RequestId::LightOff)
                                   : (before[i] ? RequestId::CurtainOpen : RequestId::CurtainClose));
        set.values.ints["ADDR"] = address;
        set.values.ints["OUTPUT"] = static_cast<int>(i) + 1;
        set.purpose = std::string(set.spec->name) + " output " + std::to_string(i + 1) + " (back as before)";
        set.took = [this, address, purpose = set.purpose](const ExchangeResult& r, SteadyTime) {
          restore_.push_back(Record(r, purpose + " of " + Label(plan_, address)));
          if (!Ok(r)) restoreProblems_.push_back(Label(plan_, address) + ": " + purpose + " answered " + Outcome(r));
        };
        sets.push_back(std::move(set));
      }
      ops_.insert(ops_.begin(), std::make_move_iterator(sets.begin()), std::make_move_iterator(sets.end()));
    };
    Queue(std::move(read));
  }
}

int AcceptanceRun::Count(Verdict verdict) const {
  return static_cast<int>(std::count_if(results_.begin(), results_.end(),
                                        [verdict](const StepResult& r) { return r.verdict == verdict; }));
}

int AcceptanceRun::ExitStatus() const {
  if (requests_ > 0 && answered_ == 0) return 4;
  return Count(Verdict::Failed) > 0 ? 3 : 0;
}

}  // namespace veltra::acceptance
