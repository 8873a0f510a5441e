#include "history/history_location.h"

#include <cstdlib>

namespace veltra::history {

std::string HistoryPath(const std::string& xdgStateHome, const std::string& home) {
  if (!xdgStateHome.empty() && xdgStateHome.front() == '/') return xdgStateHome + "/veltra/history.sqlite";
  if (!home.empty() && home.front() == '/') return home + "/.local/state/veltra/history.sqlite";
  return {};
}

std::string DefaultHistoryPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  return HistoryPath(state ? state : "", home ? home : "");
}

}  // namespace veltra::history
