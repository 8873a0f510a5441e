#pragma once
// Whether each module is reachable, from what became of the bridge's reads:
// a module is offline once two polls in a row (two polling periods) went
// without a reply, and online again at its next reply of any kind. Before
// either it is unknown. Pure.
#include <map>
#include <optional>
#include <vector>

namespace veltra::bridge {

class AvailabilityBook {
 public:
  explicit AvailabilityBook(int missesToOffline = 2) : missesToOffline_(missesToOffline) {}

  // The module's new availability when it changed.
  std::optional<bool> Replied(int module);
  std::optional<bool> Missed(int module);  // a poll got no reply
  // The link is lost: every module known or unknown is offline; those it
  // changed for.
  std::vector<int> LinkLost(const std::vector<int>& modules);

  std::optional<bool> Online(int module) const;

 private:
  struct Entry {
    std::optional<bool> online;
    int misses = 0;
  };
  int missesToOffline_;
  std::map<int, Entry> entries_;
};

}  // namespace veltra::bridge
