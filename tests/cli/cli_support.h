#pragma once
// veltra-cli run in-process, for the tool's tests.
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_app.h"

namespace veltra::test {

struct Outcome {
  int exit = -1;
  std::string out, err;
  std::chrono::steady_clock::duration took{};
};

// input: what the standard input holds ("plan check -", "run -").
inline Outcome Cli(const std::vector<std::string>& args, const std::string& input = {}) {
  std::ostringstream out, err;
  std::istringstream in(input);
  Outcome o;
  o.exit = cli::Run(args, {out, err, nullptr, &in});
  o.out = out.str();
  o.err = err.str();
  return o;
}

// The same, with the stop raised for `signal` after `after` (as the tool's
// main does when the signal comes).
inline Outcome CliStopped(const std::vector<std::string>& args, std::chrono::milliseconds after, int signal = 2) {
  std::ostringstream out, err;
  std::istringstream in;
  StopSignal stop;
  Outcome o;
  std::thread raise([&] {
    std::this_thread::sleep_for(after);
    stop.Raise(signal);
  });
  const auto start = std::chrono::steady_clock::now();
  o.exit = cli::Run(args, {out, err, &stop, &in});
  o.took = std::chrono::steady_clock::now() - start;
  raise.join();
  o.out = out.str();
  o.err = err.str();
  return o;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace veltra::test
