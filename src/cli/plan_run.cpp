#include "cli/plan_run.h"

#include <memory>
#include <set>

#include "cli/plan_steps.h"
#include "cli/result_output.h"
#include "cli/scene_database.h"
#include "cli/tool_exchange.h"
#include "replies/reply_decoder.h"

namespace veltra::cli {
namespace {

void CheckSent(const ExchangeResult& e) {
  if (e.outcome == ExchangeOutcome::NotSent) throw LinkError("the link is not open: request not sent");
  if (e.outcome == ExchangeOutcome::Refused) throw LinkError("the link no longer takes data");
}

std::string StatusText(const ExchangeResult& e) {
  if (e.outcome != ExchangeOutcome::Answered) return "no reply";
  return e.status ? StatusWord(*e.status) : "Response error!";
}

// Log lines, indented under the step they belong to, when --show-bytes asks.
ToolExchange::Printer StepLines(const GlobalOptions& o, Environment env, const char* indent) {
  if (!o.showBytes || o.json) return {};
  return [env, indent](const std::string& line) { env.out << indent << line << '\n'; };
}

}  // namespace

int ApplyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool keepGoing) {
  std::unique_ptr<SceneDatabase> db;
  if (!o.sceneDb.empty()) db = std::make_unique<SceneDatabase>(o.sceneDb);
  ToolExchange exchange(link, o.link, !o.showBytes, StepLines(o, env, "    "));
  const std::vector<PlanStep> steps = StepsOf(plan);

  int sent = 0, confirmed = 0, exit = kExitOk;
  nlohmann::ordered_json failures = nlohmann::ordered_json::array();
  const std::string count = std::to_string(steps.size());
  for (const PlanStep& step : steps) {
    // Module requests go to the plan's subnet, whatever --subnet says.
    const ExchangeResult e = exchange.Request(*step.spec, step.values, plan.subnet);
    CheckSent(e);
    ++sent;
    const bool ok = e.outcome == ExchangeOutcome::Answered && e.status == kStatusOk;
    if (ok) {
      ++confirmed;
      ApplySceneEffect(e, db.get());
    } else {
      failures.push_back({{"item", step.item}, {"status_word", StatusText(e)}});
      if (exit == kExitOk) exit = e.outcome == ExchangeOutcome::Answered ? kExitErrorStatus : kExitNoReply;
    }
    if (o.json) {
      nlohmann::ordered_json line{{"item", step.item}};
      line.update(ExchangeJson(e));
      env.out << line.dump() << '\n';
    } else {
      env.out << '[' << std::string(count.size() - std::to_string(sent).size(), ' ') << sent << '/' << count << "] "
              << step.item << ": " << StatusText(e) << '\n';
    }
    env.out << std::flush;
    if (!ok && !keepGoing) break;
  }

  const int failed = static_cast<int>(failures.size());
  if (o.json) {
    env.out << nlohmann::ordered_json{{"sent", sent}, {"confirmed", confirmed}, {"failed", failures}}.dump() << '\n';
  } else {
    env.out << "Sent " << sent << " of " << steps.size() << ", confirmed " << confirmed << ", failed " << failed
            << '\n';
    for (const auto& f : failures)
      env.out << "  failed: " << f["item"].get<std::string>() << ": " << f["status_word"].get<std::string>() << '\n';
    if (sent < static_cast<int>(steps.size()))
      env.out << "Stopped at the first failure; --keep-going sends the rest.\n";
  }
  return exit;
}

namespace {

struct Drift {
  std::string item;      // "module 3 (Stairs)" or "bus switch"
  std::string field;     // module_type, version, presence, or a record field's name
  std::string found;     // empty: nothing answered
  std::string expected;
};

// One request of verify to the plan's subnet, logged like the others when
// --show-bytes asks.
class Reader {
 public:
  Reader(Link& link, const GlobalOptions& o, Environment env, int subnet)
      : exchange_(link, o.link, !o.showBytes, StepLines(o, env, "")), subnet_(subnet) {}
  ExchangeResult Ask(RequestId id, int address = 0) {
    RequestValues values;
    if (address) values.ints["ADDR"] = address;
    ExchangeResult e = exchange_.Request(Request(id), std::move(values), subnet_);
    CheckSent(e);
    return e;
  }

 private:
  ToolExchange exchange_;
  int subnet_;
};

// A reply that carries the expected result; otherwise the drift says what came.
std::optional<std::string> Answer(const ExchangeResult& e, ReplyEffect wanted, std::string& instead) {
  if (e.outcome != ExchangeOutcome::Answered) {
    instead = "no reply";
    return std::nullopt;
  }
  if (e.decoded.effect != wanted) {
    instead = "answered \"" + StatusText(e) + "\"";
    return std::nullopt;
  }
  return e.decoded.text;
}

void VerifyModule(const plan::Module& m, Reader& reader, std::vector<Drift>& drift) {
  const std::string label = ModuleLabel(m);
  std::string instead;
  const ExchangeResult type = reader.Ask(RequestId::ReadModuleType, m.address);
  const auto found = Answer(type, ReplyEffect::ModuleType, instead);
  if (!found) {
    drift.push_back({label, "presence", instead, m.type ? "a module of type " + *m.type : "a module"});
    return;
  }
  if (m.type && *found != *m.type) drift.push_back({label, "module_type", *found, *m.type});
  if (!m.version) return;
  const ExchangeResult version = reader.Ask(RequestId::ReadVersion, m.address);
  const auto text = Answer(version, ReplyEffect::Version, instead);
  if (!text)
    drift.push_back({label, "version", instead, *m.version});
  else if (*text != *m.version)
    drift.push_back({label, "version", *text, *m.version});
}

void VerifyBusSwitch(const plan::Plan& plan, Reader& reader, std::vector<Drift>& drift) {
  const ExchangeResult e = reader.Ask(RequestId::BusSwitchRead);
  if (e.outcome != ExchangeOutcome::Answered || e.decoded.effect != ReplyEffect::BusSwitchConfig) {
    drift.push_back({"bus switch", "record", e.outcome == ExchangeOutcome::Answered ? "answered \"" + StatusText(e) + "\"" : "no reply",
                     "its configuration record"});
    return;
  }
  DecodedReply expected;
  expected.effect = ReplyEffect::BusSwitchConfig;
  expected.busSwitchRecord = plan::RecordOf(plan.subnet, *plan.busSwitch);
  const auto want = ResultFields(expected);
  const auto got = ResultFields(e.decoded);
  for (const auto& [key, value] : want.items())
    if (got[key] != value) {
      auto text = [](const nlohmann::ordered_json& j) { return j.is_string() ? j.get<std::string>() : j.dump(); };
      drift.push_back({"bus switch", key, text(got[key]), text(value)});
    }
}

}  // namespace

int VerifyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool unplanned) {
  Reader reader(link, o, env, plan.subnet);
  std::vector<Drift> drift;
  if (plan.busSwitch) VerifyBusSwitch(plan, reader, drift);
  std::set<int> planned;
  for (const plan::Module& m : plan.modules) {
    VerifyModule(m, reader, drift);
    planned.insert(m.address);
  }
  for (int address = plan::kMinModule; unplanned && address <= plan::kMaxModule; ++address) {
    if (planned.count(address)) continue;
    const ExchangeResult type = reader.Ask(RequestId::ReadModuleType, address);
    if (type.outcome == ExchangeOutcome::Answered && type.decoded.effect == ReplyEffect::ModuleType)
      drift.push_back({"module " + std::to_string(address), "presence", "a module of type " + type.decoded.text,
                       "no module"});
  }

  if (o.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Drift& d : drift)
      list.push_back({{"item", d.item}, {"field", d.field}, {"found", d.found}, {"expected", d.expected}});
    env.out << nlohmann::ordered_json{{"modules", plan.modules.size()}, {"drift", list}}.dump() << '\n';
  } else {
    for (const Drift& d : drift)
      env.out << "drift: " << d.item << ": " << d.field << " is " << d.found << ", the plan says " << d.expected
              << '\n';
    if (drift.empty())
      env.out << "No drift: " << plan.modules.size() << " modules" << (plan.busSwitch ? " and the bus switch" : "")
              << " as planned.\n";
    else
      env.out << drift.size() << (drift.size() == 1 ? " difference" : " differences") << " from the plan.\n";
  }
  return drift.empty() ? kExitOk : kExitDrift;
}

}  // namespace veltra::cli
