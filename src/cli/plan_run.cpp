#include "cli/plan_run.h"

#include <memory>

#include "acceptance/plan_runs.h"
#include "cli/result_output.h"
#include "cli/scene_database.h"
#include "cli/tool_exchange.h"

namespace veltra::cli {
namespace {

void CheckSent(const ExchangeResult& e) {
  if (e.outcome == ExchangeOutcome::NotSent) throw LinkError("the link is not open: request not sent");
  if (e.outcome == ExchangeOutcome::Refused) throw LinkError("the link no longer takes data");
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
  acceptance::ApplyRun run(plan, keepGoing);

  int exit = kExitOk;
  const std::string count = std::to_string(run.Count());
  while (const plan::PlanStep* step = run.Pending()) {
    const std::string item = step->item;
    const ExchangeResult e = exchange.Request(run.Build(o.link.Form()));
    CheckSent(e);
    run.Took(e);
    const acceptance::ItemResult& done = run.Results().back();
    if (done.ok)
      ApplySceneEffect(e, db.get());
    else if (exit == kExitOk)
      exit = e.outcome == ExchangeOutcome::Answered ? kExitErrorStatus : kExitNoReply;
    if (o.json) {
      nlohmann::ordered_json line{{"item", item}};
      line.update(ExchangeJson(e));
      env.out << line.dump() << '\n';
    } else {
      const std::string sent = std::to_string(run.Results().size());
      env.out << '[' << std::string(count.size() - sent.size(), ' ') << sent << '/' << count << "] " << item << ": "
              << done.outcome << '\n';
    }
    env.out << std::flush;
  }

  nlohmann::ordered_json failures = nlohmann::ordered_json::array();
  for (const acceptance::ItemResult& r : run.Results())
    if (!r.ok) failures.push_back({{"item", r.item}, {"status_word", r.outcome}});
  const int sent = static_cast<int>(run.Results().size());
  if (o.json) {
    env.out << nlohmann::ordered_json{{"sent", sent}, {"confirmed", run.Confirmed()}, {"failed", failures}}.dump()
            << '\n';
  } else {
    env.out << "Sent " << sent << " of " << run.Count() << ", confirmed " << run.Confirmed() << ", failed "
            << failures.size() << '\n';
    for (const auto& f : failures)
      env.out << "  failed: " << f["item"].get<std::string>() << ": " << f["status_word"].get<std::string>() << '\n';
    if (sent < run.Count()) env.out << "Stopped at the first failure; --keep-going sends the rest.\n";
  }
  return exit;
}

int VerifyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool unplanned) {
  ToolExchange exchange(link, o.link, !o.showBytes, StepLines(o, env, ""));
  acceptance::VerifyRun run(plan, unplanned);
  while (run.Pending()) {
    const ExchangeResult e = exchange.Request(run.Build(o.link.Form()));
    CheckSent(e);
    run.Took(e);
  }
  const std::vector<acceptance::Drift>& drift = run.Differences();
  if (o.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const acceptance::Drift& d : drift)
      list.push_back({{"item", d.item}, {"field", d.field}, {"found", d.found}, {"expected", d.expected}});
    env.out << nlohmann::ordered_json{{"modules", plan.modules.size()}, {"drift", list}}.dump() << '\n';
  } else {
    for (const acceptance::Drift& d : drift)
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
