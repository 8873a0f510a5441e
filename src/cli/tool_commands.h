#pragma once
// The tool's commands beyond one request per button: "scan" and the site
// plan commands "plan check|apply|verify|test|export".
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/cli_app.h"
#include "cli/global_options.h"

namespace veltra::cli {

class ToolCommands {
 public:
  // Declares the commands on the application.
  explicit ToolCommands(CLI::App& app);
  ~ToolCommands();

  // After parsing: the tool command given, null when none was.
  const CLI::App* Chosen() const;
  // The one being parsed when parsing failed: the chosen one, or "plan".
  const CLI::App* ChosenOrParent() const;
  // Whether the chosen command talks to the bus (and so needs a link).
  bool NeedsLink() const;
  // Whether the chosen command has a --json form (all but "plan export").
  bool HonoursJson() const;
  // Throws LinkError and StorageError.
  int Run(const GlobalOptions& options, Environment env);

 private:
  struct Values;
  std::unique_ptr<Values> v_;
  CLI::App *scan_, *plan_, *check_, *apply_, *verify_, *export_, *test_;
};

}  // namespace veltra::cli
