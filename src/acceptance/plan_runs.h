#pragma once
// "Apply" and "Verify" of a plan as runs that say which request is due and
// take what became of it, like the bus scan and the acceptance run: the
// window drives them from its event loop, one request at a time through its
// exchange. Pure and link-free.
#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "link/exchange.h"
#include "plan/plan_steps.h"
#include "plan/site_plan.h"

namespace veltra::acceptance {

// One request of a run and what became of it, in words.
struct ItemResult {
  std::string item;
  bool ok = false;
  std::string outcome;  // "OK!", "Parameter error!", "no reply"
};

// The plan's settings, sent in the order of plan::StepsOf; the first error
// status or missing reply ends the run unless keepGoing.
class ApplyRun {
 public:
  ApplyRun(const plan::Plan& plan, bool keepGoing);

  // The request due now; nothing once the run is over.
  const plan::PlanStep* Pending() const;
  PreparedRequest Build(FrameForm form) const;
  void Took(const ExchangeResult& result);
  void Stop();

  bool Finished() const { return !Pending(); }
  bool Stopped() const { return stopped_; }
  int Count() const { return static_cast<int>(steps_.size()); }
  const std::vector<ItemResult>& Results() const { return results_; }
  int Confirmed() const;

 private:
  std::vector<plan::PlanStep> steps_;
  int subnet_;
  bool keepGoing_;
  bool stopped_ = false;
  bool failed_ = false;
  std::vector<ItemResult> results_;
};

// A value of a difference as it is, for the tools' JSON: presence as
// true/false, the record's ports and subnet as numbers, other values as
// text; nothing when no reply came.
using DriftValue = std::variant<std::monostate, bool, long long, std::string>;

// One difference between the plan and the bus.
struct Drift {
  std::string item;      // "module 3 (Stairs)", "module 7", "bus switch"
  std::string field;     // presence, module_type, version, record, or a record field's name
  std::string found;     // what the bus has ("no reply", "answered \"...\"", or the value)
  std::string expected;  // what the plan says
  std::optional<int> address;  // the module's; none for the bus switch
  DriftValue foundValue, expectedValue;
  std::string command;  // the read that found it, by its catalogue name
  std::chrono::system_clock::time_point at;  // when that read went out
};

// What the protocol can read back, compared with the plan: the bus switch's
// record field by field (when the plan has one), each module's presence and
// type and version (when the plan gives one); with unplanned, every other
// address (1-32) too, where a module that answers is drift.
class VerifyRun {
 public:
  VerifyRun(const plan::Plan& plan, bool unplanned);

  std::optional<RequestId> Pending() const;
  PreparedRequest Build(FrameForm form) const;
  void Took(const ExchangeResult& result);
  void Stop();

  bool Finished() const { return !Pending(); }
  bool Stopped() const { return stopped_; }
  // Reads done, out of the reads planned (a version read is added once a
  // module answers with its type).
  int Done() const { return done_; }
  int Count() const { return done_ + static_cast<int>(queue_.size()); }
  int Answered() const { return answered_; }
  const std::vector<Drift>& Differences() const { return drift_; }

 private:
  struct Read {
    RequestId id;
    int address = 0;             // 0: the bus switch
    const plan::Module* module;  // null: unplanned or the bus switch
  };
  plan::Plan plan_;
  std::vector<Read> queue_;
  bool stopped_ = false;
  int done_ = 0, answered_ = 0;
  std::vector<Drift> drift_;
};

// The bus switch record's fields by the names the tool's JSON gives them,
// as text ("192.168.1.2", "2001", "02:00:00:00:00:01").
std::vector<std::pair<std::string, std::string>> RecordFields(const BusSwitchRecord& record);

}  // namespace veltra::acceptance
