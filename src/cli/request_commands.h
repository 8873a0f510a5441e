#pragma once
// The catalogue's requests as commands of a CLI11 application: one
// subcommand per request (two words for most: "light on"), its fields as
// positional arguments and options with the catalogue's ranges. The same
// declarations serve the command line and each line of "run".
#include <CLI/CLI.hpp>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/command_catalogue.h"

namespace veltra::cli {

// A usage error found after parsing: refused before anything is sent.
struct UsageError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

class RequestCommands {
 public:
  // Declares every request of the catalogue on app.
  explicit RequestCommands(CLI::App& app);
  ~RequestCommands();
  RequestCommands(const RequestCommands&) = delete;
  RequestCommands& operator=(const RequestCommands&) = delete;

  // After parsing: the request given, null when none was.
  const RequestSpec* Chosen() const;
  // Its subcommand (for its help), or the deepest one parsed; null: none.
  const CLI::App* ChosenCommand() const;
  // The values given, checked; throws UsageError.
  RequestValues Values() const;
  // "bus-switch read --to HOST": where to send instead of the link's host.
  std::string SendTo() const;
  // Every value back to its default, for the application to parse again.
  void Reset();

 private:
  struct Parsed;
  std::vector<std::unique_ptr<Parsed>> parsed_;
  std::vector<Parsed> defaults_;
  std::vector<CLI::App*> leaves_;
};

// "unknown command 'lihgt'; did you mean 'light'?" when args name a
// command app does not have (at either level); nothing when they do not.
std::optional<std::string> UnknownCommand(const CLI::App& app, const std::vector<std::string>& args);

}  // namespace veltra::cli
