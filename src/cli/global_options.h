#pragma once
// The options every command shares, given before or after the command.
#include <CLI/CLI.hpp>
#include <string>

#include "cli/link_options.h"

namespace veltra::cli {

struct GlobalOptions {
  LinkOptions link;
  bool json = false;
  bool showBytes = false;
  bool quiet = false;   // only the result (or nothing)
  std::string sceneDb;
  std::string capture;  // pcap file of every frame sent and received
  int repeat = 1;
  int intervalMs = 0;   // between repeated requests (or rounds of "run")
  std::string historyFile;  // the frame history; empty: the user's own
  // The options only some commands honour, by whether they were given.
  const CLI::Option* repeatOption = nullptr;
  const CLI::Option* intervalOption = nullptr;
  const CLI::Option* jsonOption = nullptr;
  bool RepeatGiven() const { return repeatOption && repeatOption->count() > 0; }
  bool IntervalGiven() const { return intervalOption && intervalOption->count() > 0; }
};

// The link options and the rest, in the group "Global options".
void AddGlobalOptions(CLI::App& app, GlobalOptions& options);

}  // namespace veltra::cli
