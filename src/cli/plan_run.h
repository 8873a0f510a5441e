#pragma once
// "plan apply" and "plan verify": a checked plan against the bus, on the
// runs the window shares (acceptance/plan_runs.h).
#include "cli/cli_app.h"
#include "cli/global_options.h"
#include "cli/scene_database.h"
#include "link/link.h"
#include "plan/site_plan.h"

namespace veltra::cli {

// Sends every step of the plan in order; stops at the first error status or
// missing reply unless keepGoing. Ends with the summary. Confirmed scenes go
// to db when there is one. Exit: 0 when every step was confirmed, else that
// of the first failure (3 error status, 4 no reply); ExitForSignal when the
// stop ended it. Throws LinkError and StorageError.
int ApplyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& options, Environment env, bool keepGoing,
              SceneDatabase* db);

// Reads back what can be read (each module's type and version, the bus
// switch's record) and prints every difference from the plan; with
// unplanned, a module that answers at an address the plan does not name is
// one too. Exit 0 when there is none, kExitDrift when there is, and
// kExitNoReply when nothing answered at all (the link, not the bus, is at
// fault). Throws LinkError.
int VerifyPlan(const plan::Plan& plan, Link& link, const GlobalOptions& options, Environment env, bool unplanned);

}  // namespace veltra::cli
