#include "acceptance/plan_runs.h"

#include <cstdio>
#include <set>
#include <stdexcept>

#include "protocol/status_words.h"

namespace veltra::acceptance {
namespace {

std::string StatusText(const ExchangeResult& e) {
  if (e.outcome != ExchangeOutcome::Answered) return "no reply";
  return e.status ? StatusWord(*e.status) : "Response error!";
}

std::string DottedAt(const BusSwitchRecord& r, std::size_t at) {
  return std::to_string(r[at]) + "." + std::to_string(r[at + 1]) + "." + std::to_string(r[at + 2]) + "." +
         std::to_string(r[at + 3]);
}

std::string WordAt(const BusSwitchRecord& r, std::size_t at) { return std::to_string(r[at] * 256 + r[at + 1]); }

}  // namespace

std::vector<std::pair<std::string, std::string>> RecordFields(const BusSwitchRecord& r) {
  std::string mac;
  for (std::size_t i = 22; i < 28; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", r[i]);
    if (!mac.empty()) mac += ':';
    mac += pair;
  }
  return {{"subnet_id", WordAt(r, 0)},  {"ip", DottedAt(r, 2)},         {"port", WordAt(r, 6)},
          {"mask", DottedAt(r, 8)},     {"gateway", DottedAt(r, 12)},   {"server_ip", DottedAt(r, 16)},
          {"server_port", WordAt(r, 20)}, {"mac", mac}};
}

ApplyRun::ApplyRun(const plan::Plan& plan, bool keepGoing)
    : steps_(plan::StepsOf(plan)), subnet_(plan.subnet), keepGoing_(keepGoing) {}

const plan::PlanStep* ApplyRun::Pending() const {
  if (stopped_ || (failed_ && !keepGoing_) || results_.size() >= steps_.size()) return nullptr;
  return &steps_[results_.size()];
}

PreparedRequest ApplyRun::Build(FrameForm form) const {
  const plan::PlanStep* step = Pending();
  if (!step) throw std::logic_error("no setting is due");
  // Module requests go to the plan's subnet.
  return PrepareRequest(*step->spec, step->values, {form, subnet_});
}

void ApplyRun::Took(const ExchangeResult& e) {
  const plan::PlanStep* step = Pending();
  if (!step) return;
  const bool ok = e.outcome == ExchangeOutcome::Answered && e.status == kStatusOk;
  results_.push_back({step->item, ok, StatusText(e)});
  failed_ = failed_ || !ok;
}

void ApplyRun::Stop() { stopped_ = true; }

int ApplyRun::Confirmed() const {
  int n = 0;
  for (const ItemResult& r : results_) n += r.ok ? 1 : 0;
  return n;
}

VerifyRun::VerifyRun(const plan::Plan& plan, bool unplanned) : plan_(plan) {
  if (plan_.busSwitch) queue_.push_back({RequestId::BusSwitchRead, 0, nullptr});
  std::set<int> planned;
  for (const plan::Module& m : plan_.modules) {
    queue_.push_back({RequestId::ReadModuleType, m.address, &m});
    planned.insert(m.address);
  }
  for (int address = plan::kMinModule; unplanned && address <= plan::kMaxModule; ++address)
    if (!planned.count(address)) queue_.push_back({RequestId::ReadModuleType, address, nullptr});
}

std::optional<RequestId> VerifyRun::Pending() const {
  if (stopped_ || queue_.empty()) return std::nullopt;
  return queue_.front().id;
}

PreparedRequest VerifyRun::Build(FrameForm form) const {
  if (!Pending()) throw std::logic_error("no read is due");
  const Read& read = queue_.front();
  RequestValues values;
  if (read.address) values.ints["ADDR"] = read.address;
  return PrepareRequest(Request(read.id), std::move(values), {form, plan_.subnet});
}

void VerifyRun::Took(const ExchangeResult& e) {
  if (!Pending()) return;
  const Read read = queue_.front();
  queue_.erase(queue_.begin());
  ++done_;
  const bool answered = e.outcome == ExchangeOutcome::Answered;
  if (answered) ++answered_;
  const std::string instead = answered ? "answered \"" + StatusText(e) + "\"" : "no reply";
  const std::optional<int> address = read.address ? std::optional<int>(read.address) : std::nullopt;
  auto differ = [&](std::string item, std::string field, std::string found, std::string expected,
                    DriftValue foundValue, DriftValue expectedValue) {
    drift_.push_back({std::move(item), std::move(field), std::move(found), std::move(expected), address,
                      std::move(foundValue), std::move(expectedValue),
                      std::string(e.request.spec ? e.request.spec->name : ""), e.sentAt});
  };

  if (read.id == RequestId::BusSwitchRead) {
    if (!answered || e.decoded.effect != ReplyEffect::BusSwitchConfig) {
      differ("bus switch", "record", instead, "its configuration record", false, true);
      return;
    }
    const auto want = RecordFields(plan::RecordOf(plan_.subnet, *plan_.busSwitch));
    const auto got = RecordFields(e.decoded.busSwitchRecord);
    // Ports and the subnet are numbers, the addresses text.
    auto value = [](const std::pair<std::string, std::string>& field) -> DriftValue {
      if (field.first == "subnet_id" || field.first == "port" || field.first == "server_port")
        return std::stoll(field.second);
      return field.second;
    };
    for (std::size_t i = 0; i < want.size(); ++i)
      if (got[i].second != want[i].second)
        differ("bus switch", want[i].first, got[i].second, want[i].second, value(got[i]), value(want[i]));
    return;
  }
  const std::string label = read.module ? plan::ModuleLabel(*read.module) : "module " + std::to_string(read.address);
  if (!read.module) {  // an address the plan does not name
    if (answered && e.decoded.effect == ReplyEffect::ModuleType)
      differ(label, "presence", "a module of type " + e.decoded.text, "no module", true, false);
    return;
  }
  const plan::Module& m = *read.module;
  if (read.id == RequestId::ReadModuleType) {
    if (!answered || e.decoded.effect != ReplyEffect::ModuleType) {
      differ(label, "presence", instead, m.type ? "a module of type " + *m.type : "a module", answered, true);
      return;
    }
    if (m.type && e.decoded.text != *m.type) differ(label, "module_type", e.decoded.text, *m.type, e.decoded.text, *m.type);
    if (m.version) queue_.insert(queue_.begin(), Read{RequestId::ReadVersion, m.address, read.module});
    return;
  }
  if (!answered || e.decoded.effect != ReplyEffect::Version)
    differ(label, "version", instead, *m.version, std::monostate{}, *m.version);
  else if (e.decoded.text != *m.version)
    differ(label, "version", e.decoded.text, *m.version, e.decoded.text, *m.version);
}

void VerifyRun::Stop() { stopped_ = true; }

}  // namespace veltra::acceptance
