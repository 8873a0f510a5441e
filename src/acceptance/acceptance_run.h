#pragma once
// An acceptance test of a site ("plan test", the window's "Test"): the
// installer's handover checklist run against the bus. Pure and link-free,
// like the bus scan: it says what is due (a request, a pause, a watch of the
// bus for a predicted frame, a question to the operator) and takes what
// became of it, so that veltra-cli drives it with the blocking exchange and
// the window from its event loop.
//
// The run: the status of every module the steps switch is read first; then
// each step in order, each ending "passed", "failed" (with the evidence) or
// "manual"; then, unless told to leave them, the outputs are set back to the
// states read at the start.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <list>
#include <map>
#include <vector>

#include "link/exchange.h"
#include "plan/site_plan.h"

namespace veltra::acceptance {

enum class Verdict { Passed, Failed, Manual };
// "passed", "failed", "manual".
std::string_view VerdictWord(Verdict verdict);

// One request of the run and what became of it.
struct Exchanged {
  std::string purpose;               // e.g. "On output 3", "ReadStatus"
  Bytes request;                     // the frame as sent
  std::optional<Bytes> reply;        // the frame that answered it
  std::string statusWord;            // "OK!", "Parameter error!", "no reply"
  std::optional<double> roundTripMs;
  std::vector<bool> outputs;         // a status read's output states
};

struct StepResult {
  std::string name;
  plan::TestStep step;
  Verdict verdict = Verdict::Passed;
  std::string evidence;  // why, in words: what was expected and what came
  std::vector<Exchanged> exchanges;
  std::vector<Bytes> heard;  // input steps: frames heard on the bus meanwhile
};

struct RunOptions {
  bool interactive = false;  // an operator answers questions and presses inputs
  bool leave = false;        // keep the outputs as the steps left them
  int pollMs = 100;          // between status reads while a step's outcome is awaited
};

// What the run needs done now.
struct Due {
  enum class Kind {
    Request,  // send Build()'s request and hand its result to Took()
    Pause,    // wait until `until`, then ask Next() again
    Watch,    // show `text`, watch the bus until `until`: every frame that
              // answers no request to Heard(); WatchEnded() when time is up
    Confirm,  // ask `text` (yes or no) and hand the answer to Confirmed()
  };
  Kind kind = Kind::Request;
  std::string text;
  SteadyTime until{};
};

enum class Phase { Snapshot, Steps, Restore, Done };

// The steps a plan without [[test]] tables gets: every output of every
// module that switches outputs on and off (lights) or open and closed
// (curtains), then every scene of the plan.
std::vector<plan::TestStep> DefaultSteps(const plan::Plan& plan);
// "switch: module 1 (Hall) output 3 on", "scene 2", ...; the step's own name
// when it has one.
std::string StepName(const plan::Plan& plan, const plan::TestStep& step);

class AcceptanceRun {
 public:
  // The plan's test steps, or DefaultSteps when it has none.
  AcceptanceRun(plan::Plan plan, RunOptions options);
  ~AcceptanceRun();
  AcceptanceRun(const AcceptanceRun&) = delete;
  AcceptanceRun& operator=(const AcceptanceRun&) = delete;

  // What is due at `now`; nothing once the run is over.
  std::optional<Due> Next(SteadyTime now);
  // The due request, for a link of this form; its subnet is the plan's.
  PreparedRequest Build(FrameForm form) const;
  // What became of the due request, taken at `now`.
  void Took(const ExchangeResult& result, SteadyTime now);
  // A frame that answered no request while a watch was due (its bytes, read
  // in `form`). True when it is the predicted one: the watch is over.
  bool Heard(const Bytes& frame, FrameForm form);
  // The watch's time is up (or the operator gave up) without the frame.
  void WatchEnded();
  // The operator's answer to the due question.
  void Confirmed(bool yes);
  // Ends the run: no more requests, not even the restore; steps not run
  // stay without a result.
  void Stop();

  const plan::Plan& Plan() const { return plan_; }
  const std::vector<plan::TestStep>& Steps() const { return steps_; }
  Phase CurrentPhase() const { return phase_; }
  bool Stopped() const { return stopped_; }
  // Steps with a result, out of Steps().size().
  const std::vector<StepResult>& Results() const { return results_; }
  // The requests that read the outputs before the steps and set them back after.
  const std::vector<Exchanged>& Snapshot() const { return snapshot_; }
  const std::vector<Exchanged>& Restore() const { return restore_; }
  // What the restore could not do, in words (empty: all set back, or --leave).
  const std::vector<std::string>& RestoreProblems() const { return restoreProblems_; }

  int Count(Verdict verdict) const;
  int Requests() const { return requests_; }
  int Answered() const { return answered_; }
  // 0 nothing failed, 3 a step failed, 4 nothing answered at all.
  int ExitStatus() const;

 private:
  struct Op;
  void Queue(Op op);
  void StartStep(SteadyTime now);
  void EndStep(Verdict verdict, std::string evidence);
  void StartRestore();
  Exchanged Record(const ExchangeResult& result, const std::string& purpose);

  void QueueSwitch(const plan::TestStep& step);
  void QueueScene(const plan::TestStep& step);
  void QueueIdentify(const plan::TestStep& step);
  void QueueStatusCheck(int module, std::vector<int> expected, SteadyTime deadline,
                        std::function<void(bool ok, const std::string& evidence)> done);
  bool Lights(int module) const;

  plan::Plan plan_;
  RunOptions options_;
  std::vector<plan::TestStep> steps_;
  Phase phase_ = Phase::Snapshot;
  bool stopped_ = false;
  std::size_t next_ = 0;  // the next step to start
  std::optional<StepResult> current_;
  std::list<Op> ops_;  // what is due, first at the front
  std::vector<StepResult> results_;
  std::vector<Exchanged> snapshot_, restore_;
  std::vector<std::string> restoreProblems_;
  std::map<int, std::vector<bool>> saved_;  // outputs read before the steps, by module
  int requests_ = 0, answered_ = 0;
};

}  // namespace veltra::acceptance
