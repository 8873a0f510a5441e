#pragma once
// "plan test": the acceptance run of a plan against the bus (see
// acceptance/acceptance_run.h), its lines on the output, and its JUnit and
// handover report files.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acceptance/acceptance_run.h"
#include "cli/cli_app.h"
#include "cli/link_options.h"
#include "link/link.h"
#include "plan/site_plan.h"

class QGuiApplication;

namespace veltra::cli {

struct GlobalOptions;

struct PlanTestOptions {
  std::string planFile;
  std::string testsFile;  // [[test]] tables beside the plan; empty: the plan's own
  bool nonInteractive = false;
  bool leave = false;
  std::string junit;                 // JUnit XML file; empty: none
  std::vector<std::string> reports;  // .html, .htm or .pdf
  std::string reportTime;            // fixes the report's date; empty: now
};

class PlanTest {
 public:
  PlanTest(const plan::Plan& plan, PlanTestOptions options, const GlobalOptions& global, Environment env);
  ~PlanTest();

  // What is wrong with the report options, before anything is sent; also
  // makes the application object a PDF needs. Nothing when all is well.
  std::optional<std::string> Prepare();
  // Runs every step, printing one line each, then the summary. Exit 0
  // nothing failed, 3 a step failed, 4 nothing answered. Throws LinkError.
  int Run(Link& link);
  // After the link and the capture are closed: the JUnit and report files.
  // kExitOk, or kExitStorage when one cannot be written (said on err).
  int WriteFiles();

 private:
  bool Interactive() const;
  std::istream& In() const;
  void PrintStep(const acceptance::StepResult& result, std::size_t index) const;

  plan::Plan plan_;
  PlanTestOptions options_;
  const GlobalOptions& global_;
  Environment env_;
  std::unique_ptr<QGuiApplication> gui_;
  std::unique_ptr<acceptance::AcceptanceRun> run_;
  std::string date_;
};

}  // namespace veltra::cli
