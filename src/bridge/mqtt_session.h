#pragma once
// The bridge's MQTT client (Eclipse Paho C++): a clean session with the
// bridge's last will, reconnected automatically once it has connected. The
// first connection is tried again every second until the broker answers.
// Handlers run on Paho's thread; Publish may be called from any thread and
// sends nothing while the client is disconnected (the caller republishes on
// connection).
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <mqtt/async_client.h>

#include "bridge/bridge_config.h"
#include "bridge/discovery.h"

namespace veltra::bridge {

class MqttSession final : private mqtt::callback {
 public:
  struct Handlers {
    std::function<void()> connected;  // also after each automatic reconnection
    std::function<void(const std::string& cause)> lost;
    std::function<void(const std::string& topic, const std::string& payload, bool retained)> message;
  };

  // Throws std::runtime_error when the password file cannot be read.
  MqttSession(const MqttSettings& settings, Message will, Handlers handlers);
  ~MqttSession() override;
  MqttSession(const MqttSession&) = delete;
  MqttSession& operator=(const MqttSession&) = delete;

  // Starts connecting in the background.
  void Start();
  bool Connected() const { return client_.is_connected(); }
  // Subscribes with QoS 1; without waiting for the broker's answer.
  void Subscribe(const std::vector<std::string>& filters);
  // False when nothing was sent (disconnected, or the client refused).
  bool Publish(const std::string& topic, const std::string& payload, int qos, bool retain);
  // Publishes the message and disconnects cleanly (no last will), waiting
  // up to the given time for both.
  void Disconnect(const Message& farewell, std::chrono::milliseconds wait);

  // "tcp://host:port" or "ssl://host:port".
  static std::string ServerUri(const MqttSettings& settings);

 private:
  void connected(const std::string& cause) override;
  void connection_lost(const std::string& cause) override;
  void message_arrived(mqtt::const_message_ptr message) override;
  void ConnectLoop();

  MqttSettings settings_;
  Handlers handlers_;
  mqtt::async_client client_;
  mqtt::connect_options options_;
  std::atomic<bool> stop_{false};
  std::thread connector_;
};

}  // namespace veltra::bridge
