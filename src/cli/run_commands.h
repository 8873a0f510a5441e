#pragma once
// "run FILE|-": many commands over one link, in one process. One command a
// line, in the words of the command line ('#' starts a comment); each is
// sent in turn and printed as one line (or one JSON object). A file is
// checked whole before anything is sent; standard input is read a line at a
// time. It stops at the first failure unless --keep-going; --repeat goes
// through a file that many times, --interval waits between the rounds.
#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/global_options.h"

namespace veltra::cli {

class RunCommand {
 public:
  // Declares "run" on app.
  explicit RunCommand(CLI::App& app);
  const CLI::App* Command() const { return command_; }
  // The options "run" cannot honour; throws UsageError.
  void Check(const GlobalOptions& options) const;
  int Run(const GlobalOptions& options, Environment env);

 private:
  CLI::App* command_;
  std::string source_;
  bool keepGoing_ = false;
};

// A line's words as a shell would split them: blanks between words, '…' and
// "…" quote, a backslash takes the next character as it is, '#' at the
// start of a word ends the line. Nothing for an unclosed quote.
std::optional<std::vector<std::string>> SplitWords(const std::string& line);

}  // namespace veltra::cli
