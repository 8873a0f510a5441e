#pragma once
// veltra-cli run in-process, for the tool's tests.
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

namespace veltra::test {

struct Outcome {
  int exit = -1;
  std::string out, err;
};

inline Outcome Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Outcome o;
  o.exit = cli::Run(args, {out, err, nullptr});
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

}  // namespace veltra::test
