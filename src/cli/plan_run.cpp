#include "cli/plan_run.h"

#include <memory>
#include <set>

#include "cli/plan_steps.h"
#include "cli/request_outcome.h"
#include "cli/result_output.h"
#include "cli/tool_exchange.h"
#include "replies/reply_decoder.h"

namespace veltra::cli {
namespace {

using Json = nlohmann::ordered_json;

std::string StatusText(const ExchangeResult& e) {
  if (e.outcome != ExchangeOutcome::Answered) return "no reply";
  return e.status ? StatusWord(*e.status) : "Response error!";
}

// Log lines, indented under the step they belong to, when --show-bytes asks.
ToolExchange::Printer StepLines(const GlobalOptions& o, Environment env, const char* indent) {
  if (!o.showBytes || o.json || o.quiet) return {};
  return [env, indent](const std::string& line) { env.out << indent << line << '\n'; };
}

}  // namespace

int ApplyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool keepGoing,
              SceneDatabase* db) {
  ToolExchange exchange(link, o.link, !o.showBytes, StepLines(o, env, "    "));
  const std::vector<PlanStep> steps = StepsOf(plan);

  int sent = 0, confirmed = 0, exit = kExitOk;
  bool interrupted = false;
  Json failures = Json::array();
  const std::string count = std::to_string(steps.size());
  for (const PlanStep& step : steps) {
    // Module requests go to the plan's subnet, whatever --subnet says.
    const ExchangeResult e = exchange.Request(*step.spec, step.values, plan.subnet);
    ThrowIfLinkFailed(e, link);
    if (e.interrupted) {
      interrupted = true;
      sent += e.sent ? 1 : 0;
      break;
    }
    ++sent;
    const bool ok = e.outcome == ExchangeOutcome::Answered && e.status == kStatusOk;
    if (ok) {
      ++confirmed;
      ApplySceneEffect(e, db);
    } else {
      failures.push_back({{"item", step.item}, {"status_word", StatusText(e)}});
      if (exit == kExitOk) exit = ExitFor(e);
      if (o.quiet) env.err << "veltra-cli: failed: " << step.item << ": " << StatusText(e) << '\n';
    }
    if (o.json) {
      JsonWriter json;
      json.Begin().Key("item").String(step.item);
      WriteExchange(json, e);
      env.out << json.End().Text() << '\n';
    } else if (!o.quiet) {
      env.out << '[' << std::string(count.size() - std::to_string(sent).size(), ' ') << sent << '/' << count << "] "
              << step.item << ": " << StatusText(e) << '\n';
    }
    env.out << std::flush;
    if (!ok && !keepGoing) break;
  }

  const int failed = static_cast<int>(failures.size());
  if (o.json) {
    env.out << JsonLine(Json{{"sent", sent}, {"confirmed", confirmed}, {"failed", failures}, {"interrupted", interrupted}})
            << '\n';
  } else if (!o.quiet) {
    env.out << "Sent " << sent << " of " << steps.size() << ", confirmed " << confirmed << ", failed " << failed
            << '\n';
    for (const auto& f : failures)
      env.out << "  failed: " << f["item"].get<std::string>() << ": " << f["status_word"].get<std::string>() << '\n';
    if (sent < static_cast<int>(steps.size()) && !interrupted)
      env.out << "Stopped at the first failure; --keep-going sends the rest.\n";
  }
  env.out << std::flush;
  if (interrupted) {
    env.err << "veltra-cli: interrupted after " << sent << " of " << Counted(steps.size(), "setting", "settings")
            << "; the rest was not sent\n";
    return ExitForSignal(env.stop ? env.stop->Reason() : 0);
  }
  return exit;
}

namespace {

// One difference between the plan and the bus: in words for the text, with
// typed values for JSON.
struct Drift {
  std::string item;               // "module 3 (Stairs)" or "bus switch"
  std::optional<int> address;     // the module's; none for the bus switch
  std::string field;              // module_type, version, presence, record, or a record field's name
  std::string foundText;          // "no reply", "answered \"...\"", or the value
  std::string expectedText;
  Json found, expected;           // the values themselves (numbers as numbers)
  std::string command;            // the read that found it
  std::string time;               // when that read went out
};

// The requests of verify to the plan's subnet, logged like the others when
// --show-bytes asks; counts what answered.
class Reader {
 public:
  Reader(Link& link, const GlobalOptions& o, Environment env, int subnet)
      : exchange_(link, o.link, !o.showBytes, StepLines(o, env, "")), link_(link), subnet_(subnet) {}

  // The exchange, or nothing once the stop was raised.
  std::optional<ExchangeResult> Ask(RequestId id, int address = 0) {
    RequestValues values;
    if (address) values.ints["ADDR"] = address;
    ExchangeResult e = exchange_.Request(Request(id), std::move(values), subnet_);
    ThrowIfLinkFailed(e, link_);
    if (e.interrupted) return std::nullopt;
    ++asked_;
    if (e.outcome == ExchangeOutcome::Answered) ++answered_;
    return e;
  }
  int Asked() const { return asked_; }
  int Answered() const { return answered_; }

 private:
  ToolExchange exchange_;
  Link& link_;
  int subnet_;
  int asked_ = 0, answered_ = 0;
};

struct Interrupted {};

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

ExchangeResult Asked(std::optional<ExchangeResult> e) {
  if (!e) throw Interrupted{};
  return std::move(*e);
}

Drift Difference(const ExchangeResult& e, std::string item, std::optional<int> address, std::string field,
                 std::string foundText, std::string expectedText, Json found, Json expected) {
  return {std::move(item), address, std::move(field), std::move(foundText), std::move(expectedText),
          std::move(found), std::move(expected), std::string(e.request.spec ? e.request.spec->name : ""),
          IsoTime(e.sentAt)};
}

void VerifyModule(const plan::Module& m, Reader& reader, std::vector<Drift>& drift) {
  const std::string label = ModuleLabel(m);
  std::string instead;
  const ExchangeResult type = Asked(reader.Ask(RequestId::ReadModuleType, m.address));
  const auto found = Answer(type, ReplyEffect::ModuleType, instead);
  if (!found) {
    drift.push_back(Difference(type, label, m.address, "presence", instead,
                               m.type ? "a module of type " + *m.type : "a module",
                               type.outcome == ExchangeOutcome::Answered, true));
    return;
  }
  if (m.type && *found != *m.type)
    drift.push_back(Difference(type, label, m.address, "module_type", *found, *m.type, *found, *m.type));
  if (!m.version) return;
  const ExchangeResult version = Asked(reader.Ask(RequestId::ReadVersion, m.address));
  const auto text = Answer(version, ReplyEffect::Version, instead);
  if (!text)
    drift.push_back(Difference(version, label, m.address, "version", instead, *m.version, nullptr, *m.version));
  else if (*text != *m.version)
    drift.push_back(Difference(version, label, m.address, "version", *text, *m.version, *text, *m.version));
}

void VerifyBusSwitch(const plan::Plan& plan, Reader& reader, std::vector<Drift>& drift) {
  const ExchangeResult e = Asked(reader.Ask(RequestId::BusSwitchRead));
  if (e.outcome != ExchangeOutcome::Answered || e.decoded.effect != ReplyEffect::BusSwitchConfig) {
    drift.push_back(Difference(e, "bus switch", std::nullopt, "record",
                               e.outcome == ExchangeOutcome::Answered ? "answered \"" + StatusText(e) + "\"" : "no reply",
                               "its configuration record", false, true));
    return;
  }
  DecodedReply expected;
  expected.effect = ReplyEffect::BusSwitchConfig;
  expected.busSwitchRecord = plan::RecordOf(plan.subnet, *plan.busSwitch);
  const auto want = ResultFields(expected);
  const auto got = ResultFields(e.decoded);
  for (const auto& [key, value] : want.items())
    if (got[key] != value) {
      auto text = [](const Json& j) { return j.is_string() ? j.get<std::string>() : JsonLine(j); };
      drift.push_back(Difference(e, "bus switch", std::nullopt, key, text(got[key]), text(value), got[key], value));
    }
}

Json OrNull(const std::optional<int>& value) { return value ? Json(*value) : Json(nullptr); }

}  // namespace

int VerifyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& o, Environment env, bool unplanned) {
  Reader reader(link, o, env, plan.subnet);
  std::vector<Drift> drift;
  const int reads = (plan.busSwitch ? 1 : 0) + static_cast<int>(plan.modules.size()) +
                    (unplanned ? plan::kMaxModule - plan::kMinModule + 1 - static_cast<int>(plan.modules.size()) : 0);
  try {
    if (plan.busSwitch) VerifyBusSwitch(plan, reader, drift);
    std::set<int> planned;
    for (const plan::Module& m : plan.modules) {
      VerifyModule(m, reader, drift);
      planned.insert(m.address);
    }
    for (int address = plan::kMinModule; unplanned && address <= plan::kMaxModule; ++address) {
      if (planned.count(address)) continue;
      const ExchangeResult type = Asked(reader.Ask(RequestId::ReadModuleType, address));
      if (type.outcome == ExchangeOutcome::Answered && type.decoded.effect == ReplyEffect::ModuleType)
        drift.push_back(Difference(type, "module " + std::to_string(address), address, "presence",
                                   "a module of type " + type.decoded.text, "no module", true, false));
    }
  } catch (const Interrupted&) {
    env.err << "veltra-cli: interrupted after " << reader.Asked() << " of " << reads
            << " reads; nothing is concluded\n";
    return ExitForSignal(env.stop ? env.stop->Reason() : 0);
  }
  // Silence everywhere says nothing about the bus: the link is at fault.
  if (reader.Asked() > 0 && reader.Answered() == 0) {
    env.err << "veltra-cli: nothing answered: check the link (" << reader.Asked()
            << (reader.Asked() == 1 ? " read" : " reads") << " without a reply)\n";
    return kExitNoReply;
  }

  if (o.json) {
    Json list = Json::array();
    for (const Drift& d : drift)
      list.push_back({{"item", d.item},
                      {"address", OrNull(d.address)},
                      {"field", d.field},
                      {"found", d.found},
                      {"expected", d.expected},
                      {"command", d.command},
                      {"subnet", plan.subnet},
                      {"time", d.time}});
    env.out << JsonLine(Json{{"modules", plan.modules.size()}, {"drift", list}}) << '\n';
  } else {
    for (const Drift& d : drift)
      env.out << "drift: " << d.item << ": " << d.field << " is " << d.foundText << ", the plan says "
              << d.expectedText << '\n';
    if (!o.quiet && drift.empty())
      env.out << "No drift: " << plan.modules.size() << " modules" << (plan.busSwitch ? " and the bus switch" : "")
              << " as planned.\n";
    else if (!o.quiet)
      env.out << drift.size() << (drift.size() == 1 ? " difference" : " differences") << " from the plan.\n";
  }
  return drift.empty() ? kExitOk : kExitDrift;
}

}  // namespace veltra::cli
