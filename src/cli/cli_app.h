#pragma once
// veltra-cli as a library: parses the command line, opens the link, runs
// the command through the request session and prints its result. main()
// only hands over its arguments; tests and benchmarks run it in-process.
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "link/stop_signal.h"

namespace veltra::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;          // the reply's status is OK
inline constexpr int kExitLinkError = 1;   // the link failed (with the system's reason)
inline constexpr int kExitUsage = 2;       // bad arguments or values; nothing was sent
inline constexpr int kExitErrorStatus = 3; // the reply carried an error status
inline constexpr int kExitNoReply = 4;     // no valid reply within the time-out; nothing answered
inline constexpr int kExitDrift = 5;       // plan verify: the bus differs from the plan
inline constexpr int kExitStorage = 6;     // a local file (scene database, capture, plan) could not be written
// Ended by a signal (the stop's reason): 128 + its number, 130 for SIGINT,
// 143 for SIGTERM.
inline int ExitForSignal(int signal) { return 128 + signal; }

struct Environment {
  std::ostream& out;
  std::ostream& err;
  // Raised from elsewhere (the thread that takes SIGINT and SIGTERM) to end
  // the command: nothing more is sent, what was done is reported, and the
  // exit status is ExitForSignal(its reason). Null: nothing stops it.
  StopSignal* stop = nullptr;
  // Where "plan check -" and "run -" read from; null: the standard input.
  std::istream* in = nullptr;
  // Where the operator answers "plan test"'s questions. Null: the standard
  // input when it is a terminal, and otherwise nothing is asked (the steps
  // that need an operator end "manual"). A stream given here is taken for a
  // terminal.
  std::istream* answers = nullptr;
};

// args without the program name.
int Run(const std::vector<std::string>& args, Environment env);

}  // namespace veltra::cli
