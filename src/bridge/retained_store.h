#pragma once
// The retained messages the bridge stands for, as it last published them:
// discovery, module availability, states and the bridge's own state. A
// message is sent only when it differs from what the broker holds, and all
// of them are sent again whenever the client (re)connects, since a broker
// that restarted may hold none of them. Bounded by the site's entities. Pure.
#include <map>
#include <string>
#include <vector>

#include "bridge/discovery.h"

namespace veltra::bridge {

enum class RetainedKind { Discovery, Availability, State, Bridge };  // the order they are sent in

class RetainedStore {
 public:
  // Records the message; true when the store held something else for the topic.
  bool Set(RetainedKind kind, const std::string& topic, const std::string& payload);
  // Forgets the topic; true when it was held.
  bool Remove(const std::string& topic);
  // Every message, kinds in the order above, topics in order within a kind.
  std::vector<Message> All() const;
  std::vector<Message> OfKind(RetainedKind kind) const;
  std::size_t Size() const { return byTopic_.size(); }

 private:
  struct Entry {
    RetainedKind kind;
    std::string payload;
  };
  std::map<std::string, Entry> byTopic_;
};

}  // namespace veltra::bridge
