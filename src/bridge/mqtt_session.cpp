#include "bridge/mqtt_session.h"

#include <fstream>
#include <stdexcept>

#include "bridge/bridge_log.h"

namespace veltra::bridge {
namespace {

std::string ReadPassword(const std::string& file) {
  std::ifstream in(file);
  std::string password;
  if (!in || !std::getline(in, password)) throw std::runtime_error("cannot read the password file " + file);
  return password;
}

}  // namespace

std::string MqttSession::ServerUri(const MqttSettings& s) {
  return std::string(s.tls ? "ssl://" : "tcp://") + s.host + ":" + std::to_string(s.port);
}

MqttSession::MqttSession(const MqttSettings& settings, Message will, Handlers handlers)
    : settings_(settings), handlers_(std::move(handlers)), client_(ServerUri(settings), settings.clientId) {
  auto builder = mqtt::connect_options_builder()
                     .clean_session(true)
                     .keep_alive_interval(std::chrono::seconds(30))
                     .connect_timeout(std::chrono::seconds(5))
                     .automatic_reconnect(std::chrono::seconds(1), std::chrono::seconds(8))
                     .max_inflight(256)
                     .will(mqtt::will_options(will.topic, will.payload, 1, true));
  if (settings.username) builder.user_name(*settings.username);
  if (settings.passwordFile) builder.password(ReadPassword(*settings.passwordFile));
  if (settings.tls) {
    auto ssl = mqtt::ssl_options_builder().enable_server_cert_auth(true).verify(true);
    if (settings.caFile) ssl.trust_store(*settings.caFile);
    builder.ssl(ssl.finalize());
  }
  options_ = builder.finalize();
  client_.set_callback(*this);
}

MqttSession::~MqttSession() {
  stop_ = true;
  if (connector_.joinable()) connector_.join();
  try {
    if (client_.is_connected()) client_.disconnect(std::chrono::milliseconds(500))->wait_for(std::chrono::seconds(1));
  } catch (const mqtt::exception&) {
  }
  client_.disable_callbacks();
}

void MqttSession::Start() { connector_ = std::thread([this] { ConnectLoop(); }); }

void MqttSession::ConnectLoop() {
  std::string lastError;
  while (!stop_) {
    try {
      if (client_.connect(options_)->wait_for(std::chrono::seconds(6))) return;
    } catch (const mqtt::exception& e) {
      if (e.what() != lastError) Log(LogLevel::Warning, "MQTT broker " + ServerUri(settings_) + " not reached: " + e.what() + "; trying again");
      lastError = e.what();
    }
    for (int i = 0; i < 10 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void MqttSession::connected(const std::string&) {
  Log(LogLevel::Notice, "MQTT connected to " + ServerUri(settings_) + " as " + settings_.clientId);
  if (handlers_.connected) handlers_.connected();
}

void MqttSession::connection_lost(const std::string& cause) {
  Log(LogLevel::Warning, "MQTT connection lost" + (cause.empty() ? std::string() : ": " + cause) + "; reconnecting");
  if (handlers_.lost) handlers_.lost(cause);
}

void MqttSession::message_arrived(mqtt::const_message_ptr message) {
  if (handlers_.message) handlers_.message(message->get_topic(), message->to_string(), message->is_retained());
}

void MqttSession::Subscribe(const std::vector<std::string>& filters) {
  try {
    for (const std::string& filter : filters) client_.subscribe(filter, 1);
  } catch (const mqtt::exception& e) {
    Log(LogLevel::Warning, std::string("MQTT subscription failed: ") + e.what());
  }
}

bool MqttSession::Publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
  if (!client_.is_connected()) return false;
  try {
    client_.publish(topic, payload.data(), payload.size(), qos, retain);
    return true;
  } catch (const mqtt::exception& e) {
    Log(LogLevel::Debug, "not published on " + topic + ": " + e.what());
    return false;
  }
}

void MqttSession::Disconnect(const Message& farewell, std::chrono::milliseconds wait) {
  stop_ = true;
  if (connector_.joinable()) connector_.join();
  if (!client_.is_connected()) return;
  try {
    client_.publish(farewell.topic, farewell.payload.data(), farewell.payload.size(), 1, true)->wait_for(wait);
    client_.disconnect(wait)->wait_for(wait);
  } catch (const mqtt::exception& e) {
    Log(LogLevel::Warning, std::string("MQTT disconnect: ") + e.what());
  }
}

}  // namespace veltra::bridge
