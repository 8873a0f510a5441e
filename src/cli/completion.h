#pragma once
// Shell completion for veltra-cli, made from its own command tree (and so
// from the command catalogue): commands at every level, their options, the
// global options anywhere, and the values the catalogue names (the input
// functions, the control modes, the line settings). The package installs
// what "veltra-cli completion bash|zsh|fish" prints.
#include <CLI/CLI.hpp>
#include <map>
#include <string>
#include <vector>

namespace veltra::cli {

// The tree as completion sees it. Paths are the command words so far,
// blank-separated; "" is the top level.
struct CompletionTree {
  std::map<std::string, std::vector<std::string>> commands;  // path -> the commands below it
  std::map<std::string, std::vector<std::string>> options;   // path -> its own options
  std::vector<std::string> globalOptions;                    // taken after any command too
  std::vector<std::string> valueOptions;                     // options that take a value
  std::vector<std::string> fileOptions;                      // ... a file name
  std::map<std::string, std::vector<std::string>> values;    // "path option" or "option" -> its values
  std::vector<std::string> filePaths;                        // commands whose arguments are files
  std::map<std::string, std::string> help;                   // path -> what it does
};

CompletionTree TreeOf(const CLI::App& app);

// The script for "bash", "zsh" or "fish".
std::string CompletionScript(const CLI::App& app, const std::string& shell);

}  // namespace veltra::cli
