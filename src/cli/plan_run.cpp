#include "cli/plan_run.h"

#include <memory>

#include "acceptance/plan_runs.h"
#include "cli/request_outcome.h"
#include "cli/result_output.h"
#include "cli/tool_exchange.h"

namespace veltra::cli {
namespace {

using Json = nlohmann::ordered_json;

// Log lines, indented under the step they belong to, when --show-bytes asks.
ToolExchange::Printer StepLines(const GlobalOptions& o, Environment env, const char* indent) {
  if (!o.showBytes || o.json || o.quiet) return {};
  return [env, indent](const std::string& line) { env.out << indent << line << '\n'; };
}

Json ValueOf(const acceptance::DriftValue& value) {
  if (const bool* flag = std::get_if<bool>(&value)) return *flag;
  if (const long long* number = std::get_if<long long>(&value)) return *number;
  if (const std::string* text = std::get_if<std::string>(&value)) return *text;
  return nullptr;
}

}  // namespace

int ApplyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool keepGoing,
              SceneDatabase* db) {
  ToolExchange exchange(link, o.link, !o.showBytes, StepLines(o, env, "    "));
  acceptance::ApplyRun run(plan, keepGoing);

  int exit = kExitOk;
  bool interrupted = false;
  int sentUnanswered = 0;  // a request the stop cut off after it went out
  const std::string count = std::to_string(run.Count());
  while (const plan::PlanStep* step = run.Pending()) {
    const std::string item = step->item;
    const ExchangeResult e = exchange.Request(run.Build(o.link.Form()));
    ThrowIfLinkFailed(e, link);
    if (e.interrupted) {
      interrupted = true;
      sentUnanswered = e.sent ? 1 : 0;
      break;
    }
    run.Took(e);
    const acceptance::ItemResult& done = run.Results().back();
    if (done.ok) {
      ApplySceneEffect(e, db);
    } else {
      if (exit == kExitOk) exit = ExitFor(e);
      if (o.quiet) env.err << "veltra-cli: failed: " << item << ": " << done.outcome << '\n';
    }
    if (o.json) {
      JsonWriter json;
      json.Begin().Key("item").String(item);
      WriteExchange(json, e);
      env.out << json.End().Text() << '\n';
    } else if (!o.quiet) {
      const std::string sent = std::to_string(run.Results().size());
      env.out << '[' << std::string(count.size() - sent.size(), ' ') << sent << '/' << count << "] " << item << ": "
              << done.outcome << '\n';
    }
    env.out << std::flush;
  }

  Json failures = Json::array();
  for (const acceptance::ItemResult& r : run.Results())
    if (!r.ok) failures.push_back({{"item", r.item}, {"status_word", r.outcome}});
  const int sent = static_cast<int>(run.Results().size()) + sentUnanswered;
  if (o.json) {
    env.out << JsonLine(Json{{"sent", sent},
                             {"confirmed", run.Confirmed()},
                             {"failed", failures},
                             {"interrupted", interrupted}})
            << '\n';
  } else if (!o.quiet) {
    env.out << "Sent " << sent << " of " << run.Count() << ", confirmed " << run.Confirmed() << ", failed "
            << failures.size() << '\n';
    for (const auto& f : failures)
      env.out << "  failed: " << f["item"].get<std::string>() << ": " << f["status_word"].get<std::string>() << '\n';
    if (sent < run.Count() && !interrupted) env.out << "Stopped at the first failure; --keep-going sends the rest.\n";
  }
  env.out << std::flush;
  if (interrupted) {
    env.err << "veltra-cli: interrupted after " << sent << " of "
            << Counted(static_cast<std::size_t>(run.Count()), "setting", "settings") << "; the rest was not sent\n";
    return ExitForSignal(env.stop ? env.stop->Reason() : 0);
  }
  return exit;
}

int VerifyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool unplanned) {
  ToolExchange exchange(link, o.link, !o.showBytes, StepLines(o, env, ""));
  acceptance::VerifyRun run(plan, unplanned);
  while (run.Pending()) {
    const ExchangeResult e = exchange.Request(run.Build(o.link.Form()));
    ThrowIfLinkFailed(e, link);
    if (e.interrupted) {
      env.err << "veltra-cli: interrupted after " << run.Done() << " of " << run.Count()
              << " reads; nothing is concluded\n";
      return ExitForSignal(env.stop ? env.stop->Reason() : 0);
    }
    run.Took(e);
  }
  // Silence everywhere says nothing about the bus: the link is at fault.
  if (run.Done() > 0 && run.Answered() == 0) {
    env.err << "veltra-cli: nothing answered: check the link (" << run.Done()
            << (run.Done() == 1 ? " read" : " reads") << " without a reply)\n";
    return kExitNoReply;
  }
  const std::vector<acceptance::Drift>& drift = run.Differences();
  if (o.json) {
    Json list = Json::array();
    for (const acceptance::Drift& d : drift)
      list.push_back({{"item", d.item},
                      {"address", d.address ? Json(*d.address) : Json(nullptr)},
                      {"field", d.field},
                      {"found", ValueOf(d.foundValue)},
                      {"expected", ValueOf(d.expectedValue)},
                      {"command", d.command},
                      {"subnet", plan.subnet},
                      {"time", IsoTime(d.at)}});
    env.out << JsonLine(Json{{"modules", plan.modules.size()}, {"drift", list}}) << '\n';
  } else {
    for (const acceptance::Drift& d : drift)
      env.out << "drift: " << d.item << ": " << d.field << " is " << d.found << ", the plan says " << d.expected
              << '\n';
    if (!o.quiet && drift.empty())
      env.out << "No drift: " << plan.modules.size() << " modules" << (plan.busSwitch ? " and the bus switch" : "")
              << " as planned.\n";
    else if (!o.quiet)
      env.out << drift.size() << (drift.size() == 1 ? " difference" : " differences") << " from the plan.\n";
  }
  return drift.empty() ? kExitOk : kExitDrift;
}

}  // namespace veltra::cli
