#pragma once
// The tool's commands beyond one request per button: "scan" and the site
// plan commands "plan check|apply|verify|test|export".
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/cli_app.h"
#include "cli/link_options.h"

namespace veltra::cli {

// Options before the command, shared by every command.
struct GlobalOptions {
  LinkOptions link;
  bool json = false;
  bool showBytes = false;
  std::string sceneDb;
  std::string capture;  // pcap file of every frame sent and received
  int repeat = 1;
};

// Writes "veltra-cli: TEXT (REASON)" and returns kExitLinkError.
int ReportLinkFailure(std::ostream& err, const std::string& text, const std::string& reason = {});

class ToolCommands {
 public:
  // Declares the commands on the application.
  explicit ToolCommands(CLI::App& app);
  ~ToolCommands();

  // After parsing: the tool command given, null when none was.
  const CLI::App* Chosen() const;
  // Whether the chosen command talks to the bus (and so needs a link).
  bool NeedsLink() const;
  int Run(const GlobalOptions& options, Environment env);

 private:
  struct Values;
  std::unique_ptr<Values> v_;
  CLI::App *scan_, *check_, *apply_, *verify_, *export_, *test_;
};

}  // namespace veltra::cli
