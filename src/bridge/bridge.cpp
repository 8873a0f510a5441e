#include "bridge/bridge.h"

#include <nlohmann/json.hpp>

#include "bridge/bridge_log.h"
#include "bridge/discovery.h"

namespace veltra::bridge {
namespace {

WorkerSettings WorkerSettingsOf(const BridgeConfig& c) {
  WorkerSettings s;
  s.link = c.link;
  s.pollInterval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(c.poll.intervalS));
  s.budgetShare = c.poll.budgetPercent / 100.0;
  return s;
}

std::string EntityText(const EntityRef& e) {
  if (e.kind == EntityKind::Scene) return "scene " + std::to_string(e.number);
  return std::string(ComponentName(e.kind)) + " " + std::to_string(e.number) + " of module " + std::to_string(e.module);
}

}  // namespace

Bridge::Bridge(const BridgeConfig& config, const plan::Plan& plan, std::string version, BusWorker::Opener opener)
    : topics_(config.site.name, config.mqtt.discoveryPrefix), version_(std::move(version)), model_(plan) {
  for (const std::string& note : model_.Notes()) Log(LogLevel::Info, note);
  for (const Message& m : DiscoveryMessages(model_, topics_, version_))
    store_.Set(RetainedKind::Discovery, m.topic, m.payload);
  store_.Set(RetainedKind::Bridge, topics_.BridgeState(), std::string(kOnline));

  MqttSession::Handlers handlers;
  handlers.connected = [this] { OnConnected(); };
  handlers.message = [this](const std::string& topic, const std::string& payload, bool retained) {
    OnMessage(topic, payload, retained);
  };
  session_ = std::make_unique<MqttSession>(config.mqtt, Message{topics_.BridgeState(), std::string(kOffline)},
                                           std::move(handlers));
  outbox_ = std::make_unique<Outbox>(
      [session = session_.get()](const Publication& p) { return session->Publish(p.topic, p.payload, p.qos, p.retain); });
  BusEvents& events = *this;
  worker_ = std::make_unique<BusWorker>(WorkerSettingsOf(config), model_, events, std::move(opener));
}

Bridge::~Bridge() { Stop(); }

void Bridge::Start() {
  outbox_->Start();
  worker_->Start();
  session_->Start();
}

bool Bridge::Ready() const { return session_->Connected() && worker_->LinkUp(); }

bool Bridge::Healthy(std::chrono::steady_clock::duration within) const {
  return std::chrono::steady_clock::now() - worker_->Heartbeat() < within;
}

void Bridge::Stop() {
  if (stopped_) return;
  stopped_ = true;
  worker_->Stop();
  outbox_->Stop();
  session_->Disconnect({topics_.BridgeState(), std::string(kOffline)}, std::chrono::seconds(2));
}

void Bridge::OnConnected() {
  std::vector<std::string> filters = topics_.CommandFilters();
  filters.push_back(topics_.DiscoveryFilter());
  filters.push_back(topics_.HomeAssistantStatus());
  session_->Subscribe(filters);
  // A broker that restarted holds nothing of ours: everything again.
  std::lock_guard lock(mutex_);
  RepublishAll();
}

// With the lock held.
void Bridge::RepublishAll() {
  for (const Message& m : store_.All()) outbox_->Post({m.topic, m.payload, 1, true});
}

void Bridge::OnMessage(const std::string& topic, const std::string& payload, bool retained) {
  if (topic == topics_.HomeAssistantStatus()) {
    if (payload != kOnline) return;
    Log(LogLevel::Info, "Home Assistant is online: discovery sent again");
    std::lock_guard lock(mutex_);
    RepublishAll();
    return;
  }
  if (const auto entity = topics_.ParseCommand(topic)) {
    // A retained command is an old one: commands are never replayed.
    if (retained) {
      Log(LogLevel::Warning, "retained command on " + topic + " ignored: commands count only when they are sent");
      return;
    }
    OnCommand(*entity, topic, payload);
    return;
  }
  // Discovery messages: the bridge's own come back live (not retained);
  // retained ones arrive on subscription and may be left from an earlier plan.
  if (retained) RemoveStale(topic, payload);
}

void Bridge::OnCommand(const EntityRef& entity, const std::string& topic, const std::string& payload) {
  const auto action = ParseAction(entity.kind, payload);
  bool known = false;
  {
    std::lock_guard lock(mutex_);
    known = model_.Has(entity);
  }
  if (!known) {
    Refuse(entity, payload, "the site has no " + EntityText(entity), false);
    return;
  }
  if (!action) {
    Refuse(entity, payload, "\"" + payload + "\" is no command for a " + std::string(ComponentName(entity.kind)), false);
    return;
  }
  Log(LogLevel::Debug, "command " + payload + " on " + topic);
  switch (worker_->Submit({entity, *action})) {
    case CommandQueue::Admission::Queued: return;
    case CommandQueue::Admission::LinkDown: Refuse(entity, payload, "the link to the bus is down", true); return;
    case CommandQueue::Admission::Full: Refuse(entity, payload, "too many commands are waiting for the bus", false); return;
  }
}

void Bridge::Refuse(const EntityRef& entity, const std::string& payload, const std::string& why, bool linkDown) {
  Log(LogLevel::Warning, "command " + payload + " for " + EntityText(entity) + " not carried out: " + why);
  const nlohmann::json error{{"topic", topics_.Command(entity)}, {"command", payload}, {"error", why}};
  std::lock_guard lock(mutex_);
  if (linkDown && entity.kind != EntityKind::Scene)
    PublishRetained(RetainedKind::Availability, topics_.ModuleAvailability(entity.module), std::string(kOffline), true);
  outbox_->Post({topics_.BridgeError(), error.dump(), 1, false});
}

void Bridge::RemoveStale(const std::string& topic, const std::string& payload) {
  std::lock_guard lock(mutex_);
  for (const std::string& stale : StaleTopics(model_, topics_, topic, payload)) {
    Log(LogLevel::Info, "removing " + stale + ": no longer in the plan");
    store_.Remove(stale);
    outbox_->Post({stale, "", 1, true});
  }
}

// With the lock held. States go at QoS 0, as Home Assistant reads them: a
// lost one is sent again at the next connection anyway, and a PUBACK for
// each would meet the broker's Nagle delay (40 ms a command) on brokers
// that leave TCP_NODELAY off, as mosquitto does by default.
void Bridge::PublishRetained(RetainedKind kind, const std::string& topic, const std::string& payload, bool force) {
  if (store_.Set(kind, topic, payload) || force)
    outbox_->Post({topic, payload, kind == RetainedKind::State ? 0 : 1, true});
}

void Bridge::LinkChanged(bool up, const std::string& detail) {
  if (!up && !detail.empty()) Log(LogLevel::Debug, "every module is unreachable while the link is down");
}

void Bridge::AvailabilityChanged(int module, bool online) {
  Log(online ? LogLevel::Info : LogLevel::Warning,
      "module " + std::to_string(module) + (online ? " is online" : " is offline"));
  std::lock_guard lock(mutex_);
  PublishRetained(RetainedKind::Availability, topics_.ModuleAvailability(module),
                  std::string(online ? kOnline : kOffline));
}

void Bridge::StatesRead(const SiteModule& module, const std::vector<bool>& outputs) {
  const EntityKind kind = module.OutputKind();
  const int count = std::min(module.outputs, static_cast<int>(outputs.size()));
  std::lock_guard lock(mutex_);
  for (int n = 1; n <= count; ++n)
    PublishRetained(RetainedKind::State, topics_.State({kind, module.address, n}),
                    std::string(StatePayload(kind, outputs[n - 1])));
}

void Bridge::ModelChanged(const SiteModel& model, int module) {
  std::lock_guard lock(mutex_);
  const SiteModel before = model_;
  model_ = model;
  PublishDiscoveryOf(module, before);
}

// With the lock held: the module's entities as the model has them now, and
// those it had before and no longer has removed.
void Bridge::PublishDiscoveryOf(int module, const SiteModel& before) {
  const SiteModule* m = model_.Find(module);
  if (m) Log(LogLevel::Notice, "module " + std::to_string(module) + " has " + std::to_string(m->outputs) + " " +
                                   std::string(ComponentName(m->OutputKind())) + " outputs");
  for (const EntityRef& e : before.Entities()) {
    if (e.module != module || model_.Has(e)) continue;
    store_.Remove(topics_.Discovery(e));
    store_.Remove(topics_.State(e));
    outbox_->Post({topics_.Discovery(e), "", 1, true});
    outbox_->Post({topics_.State(e), "", 1, true});
  }
  for (const EntityRef& e : model_.Entities())
    if (e.module == module) {
      const Message message = DiscoveryMessage(model_, topics_, e, version_);
      PublishRetained(RetainedKind::Discovery, message.topic, message.payload);
    }
}

void Bridge::CommandFailed(const BusCommand& command, const std::string& why) {
  const bool linkDown = !worker_->LinkUp();
  Refuse(command.entity, std::string(ActionName(command.action)), why, linkDown);
}

}  // namespace veltra::bridge
