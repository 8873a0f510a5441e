#include "bridge/availability.h"

namespace veltra::bridge {

std::optional<bool> AvailabilityBook::Replied(int module) {
  Entry& e = entries_[module];
  e.misses = 0;
  if (e.online == true) return std::nullopt;
  e.online = true;
  return true;
}

std::optional<bool> AvailabilityBook::Missed(int module) {
  Entry& e = entries_[module];
  if (++e.misses < missesToOffline_ || e.online == false) return std::nullopt;
  e.online = false;
  return false;
}

std::vector<int> AvailabilityBook::LinkLost(const std::vector<int>& modules) {
  std::vector<int> changed;
  for (const int module : modules) {
    Entry& e = entries_[module];
    e.misses = 0;
    if (e.online != false) changed.push_back(module);
    e.online = false;
  }
  return changed;
}

std::optional<bool> AvailabilityBook::Online(int module) const {
  const auto it = entries_.find(module);
  return it == entries_.end() ? std::nullopt : it->second.online;
}

}  // namespace veltra::bridge
