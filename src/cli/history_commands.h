#pragma once
// veltra-cli's commands on the frame history, which need no link:
// "history" (the frames, filtered, as text, JSON lines, CSV or pcap),
// "stats" (the line's health over a span) and "history-limits".
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/cli_app.h"
#include "cli/global_options.h"

namespace veltra::cli {

// The history the options name: --history-file, or the user's own.
std::string HistoryFileOf(const GlobalOptions& options);

class HistoryCommands {
 public:
  explicit HistoryCommands(CLI::App& app);
  ~HistoryCommands();

  // After parsing: the command given, null when none was.
  const CLI::App* Chosen() const;
  int Run(const GlobalOptions& options, Environment env);

 private:
  struct Values;
  std::unique_ptr<Values> v_;
  CLI::App *history_, *stats_, *limits_;
};

}  // namespace veltra::cli
