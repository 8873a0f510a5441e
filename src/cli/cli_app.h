#pragma once
// veltra-cli as a library: parses the command line, opens the link, runs
// the command through the request session and prints its result. main()
// only hands over its arguments; tests and benchmarks run it in-process.
#include <atomic>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace veltra::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;          // the reply's status is OK
inline constexpr int kExitLinkError = 1;   // the link failed (with the system's reason)
inline constexpr int kExitUsage = 2;       // bad arguments or values; nothing was sent
inline constexpr int kExitErrorStatus = 3; // the reply carried an error status
inline constexpr int kExitNoReply = 4;     // no reply within the time-out
inline constexpr int kExitDrift = 5;       // plan verify: the bus differs from the plan

struct Environment {
  std::ostream& out;
  std::ostream& err;
  // Set from elsewhere (a signal handler) to end "monitor".
  const std::atomic<bool>* stop = nullptr;
  // The operator's answers to "plan test" (null: the standard input, and
  // only when it is a terminal). A stream given here is taken for one.
  std::istream* in = nullptr;
};

// args without the program name.
int Run(const std::vector<std::string>& args, Environment env);

}  // namespace veltra::cli
