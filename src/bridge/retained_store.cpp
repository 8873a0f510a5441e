#include "bridge/retained_store.h"

namespace veltra::bridge {

bool RetainedStore::Set(RetainedKind kind, const std::string& topic, const std::string& payload) {
  auto [it, added] = byTopic_.try_emplace(topic, Entry{kind, payload});
  if (added) return true;
  if (it->second.payload == payload && it->second.kind == kind) return false;
  it->second = {kind, payload};
  return true;
}

bool RetainedStore::Remove(const std::string& topic) { return byTopic_.erase(topic) > 0; }

std::vector<Message> RetainedStore::OfKind(RetainedKind kind) const {
  std::vector<Message> messages;
  for (const auto& [topic, entry] : byTopic_)
    if (entry.kind == kind) messages.push_back({topic, entry.payload});
  return messages;
}

std::vector<Message> RetainedStore::All() const {
  std::vector<Message> messages;
  for (const RetainedKind kind :
       {RetainedKind::Discovery, RetainedKind::Availability, RetainedKind::State, RetainedKind::Bridge}) {
    auto some = OfKind(kind);
    messages.insert(messages.end(), some.begin(), some.end());
  }
  return messages;
}

}  // namespace veltra::bridge
