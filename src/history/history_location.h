#pragma once
// Where the frame history lives: one file per user,
// $XDG_STATE_HOME/veltra/history.sqlite (~/.local/state/veltra/history.sqlite
// when XDG_STATE_HOME is unset, empty or not an absolute path).
#include <string>

namespace veltra::history {

// From the given values of XDG_STATE_HOME and HOME; empty when neither
// gives an absolute path.
std::string HistoryPath(const std::string& xdgStateHome, const std::string& home);
// From the environment.
std::string DefaultHistoryPath();

}  // namespace veltra::history
