#include "cli/plan_run.h"

#include <memory>
#include <set>

#include "cli/plan_steps.h"
#include "cli/result_output.h"
#include "cli/scene_database.h"
#include "link/request_session.h"
#include "protocol/module_commands.h"
#include "replies/reply_decoder.h"

namespace veltra::cli {
namespace {

// Module requests go to the plan's subnet, whatever --subnet says.
RequestContext ContextFor(const plan::Plan& plan, const GlobalOptions& o) {
  return {{o.link.Form(), plan.subnet}, plan.subnet};
}

void CheckSent(const Exchange& e) {
  if (e.transmit == TransmitStatus::NotOpen) throw LinkError("the link is not open: request not sent");
  if (e.transmit == TransmitStatus::Refused) throw LinkError("the link no longer takes data");
}

std::string StatusText(const Exchange& e) {
  if (e.outcome != SendOutcome::Replied) return "no reply";
  return e.status ? StatusWord(*e.status) : "Response error!";
}

}  // namespace

int ApplyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool keepGoing) {
  std::unique_ptr<SceneDatabase> db;
  if (!o.sceneDb.empty()) db = std::make_unique<SceneDatabase>(o.sceneDb);
  RequestSession session(link, o.link.Form(), o.link.timeoutMs);
  session.masked = !o.showBytes;
  if (o.showBytes && !o.json) session.onLogLine = [&env](const std::string& line) { env.out << "    " << line << '\n'; };
  const RequestContext context = ContextFor(plan, o);
  const std::vector<PlanStep> steps = StepsOf(plan);

  int sent = 0, confirmed = 0, exit = kExitOk;
  nlohmann::ordered_json failures = nlohmann::ordered_json::array();
  const std::string count = std::to_string(steps.size());
  for (const PlanStep& step : steps) {
    TransmitBuffer buffer{};
    step.command->build(buffer, context, step.values);
    const Exchange e = session.Request(buffer);
    CheckSent(e);
    ++sent;
    const bool ok = e.outcome == SendOutcome::Replied && e.status == 1;
    if (ok) {
      ++confirmed;
      ApplySceneEffect(*step.command, step.values, e, db.get());
    } else {
      failures.push_back({{"item", step.item}, {"status_word", StatusText(e)}});
      if (exit == kExitOk) exit = e.outcome == SendOutcome::Replied ? kExitErrorStatus : kExitNoReply;
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

// One request of verify, logged like the others when --show-bytes asks.
class Reader {
 public:
  Reader(Link& link, const GlobalOptions& o, Environment env) : session_(link, o.link.Form(), o.link.timeoutMs) {
    session_.masked = !o.showBytes;
    if (o.showBytes && !o.json) session_.onLogLine = [env](const std::string& line) { env.out << line << '\n'; };
  }
  template <typename Build>
  Exchange Ask(Build build) {
    TransmitBuffer buffer{};
    build(buffer);
    Exchange e = session_.Request(buffer);
    CheckSent(e);
    return e;
  }

 private:
  RequestSession session_;
};

// A reply that carries the expected result; otherwise the drift says what came.
std::optional<std::string> Answer(const Exchange& e, ReplyEffect wanted, std::string& instead) {
  if (e.outcome != SendOutcome::Replied) {
    instead = "no reply";
    return std::nullopt;
  }
  if (e.decoded.effect != wanted) {
    instead = "answered \"" + StatusText(e) + "\"";
    return std::nullopt;
  }
  return e.decoded.text;
}

void VerifyModule(const plan::Module& m, Reader& reader, const Addressing& addressing, std::vector<Drift>& drift) {
  const std::string label = ModuleLabel(m);
  std::string instead;
  const Exchange type = reader.Ask([&](TransmitBuffer& b) {
    BuildModuleCommand(b, ModuleCommand::ReadModuleType, addressing, m.address);
  });
  const auto found = Answer(type, ReplyEffect::ModuleType, instead);
  if (!found) {
    drift.push_back({label, "presence", instead, m.type ? "a module of type " + *m.type : "a module"});
    return;
  }
  if (m.type && *found != *m.type) drift.push_back({label, "module_type", *found, *m.type});
  if (!m.version) return;
  const Exchange version =
      reader.Ask([&](TransmitBuffer& b) { BuildModuleCommand(b, ModuleCommand::ReadVersion, addressing, m.address); });
  const auto text = Answer(version, ReplyEffect::Version, instead);
  if (!text)
    drift.push_back({label, "version", instead, *m.version});
  else if (*text != *m.version)
    drift.push_back({label, "version", *text, *m.version});
}

void VerifyBusSwitch(const plan::Plan& plan, Reader& reader, std::vector<Drift>& drift) {
  const Exchange e = reader.Ask([](TransmitBuffer& b) { BuildBusSwitchRead(b); });
  if (e.outcome != SendOutcome::Replied || e.decoded.effect != ReplyEffect::BusSwitchConfig) {
    drift.push_back({"bus switch", "record", e.outcome == SendOutcome::Replied ? "answered \"" + StatusText(e) + "\"" : "no reply",
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
  Reader reader(link, o, env);
  const Addressing addressing = ContextFor(plan, o).addressing;
  std::vector<Drift> drift;
  if (plan.busSwitch) VerifyBusSwitch(plan, reader, drift);
  std::set<int> planned;
  for (const plan::Module& m : plan.modules) {
    VerifyModule(m, reader, addressing, drift);
    planned.insert(m.address);
  }
  for (int address = plan::kMinModule; unplanned && address <= plan::kMaxModule; ++address) {
    if (planned.count(address)) continue;
    const Exchange type = reader.Ask([&](TransmitBuffer& b) {
      BuildModuleCommand(b, ModuleCommand::ReadModuleType, addressing, address);
    });
    if (type.outcome == SendOutcome::Replied && type.decoded.effect == ReplyEffect::ModuleType)
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
