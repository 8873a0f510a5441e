#pragma once
// veltra-bridge put together: the MQTT session on one side, the bus worker
// on the other. Commands from the entities' command topics go to the bus
// thread through its queue; what the bus thread learns (states,
// availability, what a module is) becomes retained messages. The retained
// messages are kept (RetainedStore) and sent again on every connection, and
// on Home Assistant's "online". Every publication goes through the outbox,
// never straight from a thread that holds the bridge's lock.
#include <memory>
#include <mutex>
#include <string>

#include "bridge/bridge_config.h"
#include "bridge/bus_worker.h"
#include "bridge/mqtt_session.h"
#include "bridge/outbox.h"
#include "bridge/retained_store.h"
#include "bridge/site_model.h"
#include "bridge/topics.h"

namespace veltra::bridge {

class Bridge final : private BusEvents {
 public:
  // Throws std::runtime_error when the MQTT settings cannot be used (an
  // unreadable password file).
  Bridge(const BridgeConfig& config, const plan::Plan& plan, std::string version,
         BusWorker::Opener opener = BusWorker::DefaultOpener());
  ~Bridge() override;

  // Starts connecting to the broker and opening the link.
  void Start();
  // Connected to the broker, and the link is open.
  bool Ready() const;
  // The bus thread went round its loop within the given time.
  bool Healthy(std::chrono::steady_clock::duration within) const;
  // Stops the bus thread, publishes the bridge's "offline" and disconnects.
  void Stop();

 private:
  void OnConnected();
  void OnMessage(const std::string& topic, const std::string& payload, bool retained);
  void OnCommand(const EntityRef& entity, const std::string& topic, const std::string& payload);
  void RemoveStale(const std::string& topic, const std::string& payload);
  // Tells of a command that was not carried out: on the bridge's error topic
  // and in the log; refused for want of a link, also as the module's
  // availability.
  void Refuse(const EntityRef& entity, const std::string& payload, const std::string& why, bool linkDown);
  // With the lock held: sends a retained message when it differs from the
  // last one sent (or when forced); sends every retained message again.
  void PublishRetained(RetainedKind kind, const std::string& topic, const std::string& payload, bool force = false);
  void RepublishAll();
  void PublishDiscoveryOf(int module, const SiteModel& before);

  void LinkChanged(bool up, const std::string& detail) override;
  void AvailabilityChanged(int module, bool online) override;
  void StatesRead(const SiteModule& module, const std::vector<bool>& outputs) override;
  void ModelChanged(const SiteModel& model, int module) override;
  void CommandFailed(const BusCommand& command, const std::string& why) override;

  Topics topics_;
  std::string version_;
  mutable std::mutex mutex_;  // the store, the model's copy, and the order of publications
  RetainedStore store_;
  SiteModel model_;  // as the MQTT side knows it
  std::unique_ptr<MqttSession> session_;
  std::unique_ptr<Outbox> outbox_;
  std::unique_ptr<BusWorker> worker_;
  bool stopped_ = false;
};

}  // namespace veltra::bridge
