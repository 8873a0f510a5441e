#pragma once
// veltra-bridge's configuration: a TOML file with the tables [mqtt], [link],
// [site] and [poll]. Its keys are an interface that users and tests write;
// every problem (a syntax error, an unknown key, a value out of range) is
// reported with its line and column, and nothing starts.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_options.h"
#include "plan/site_plan.h"

namespace veltra::bridge {

struct MqttSettings {
  std::string host = "127.0.0.1";
  int port = 1883;
  std::string clientId = "veltra-bridge";
  std::string discoveryPrefix = "homeassistant";
  std::optional<std::string> username;
  std::optional<std::string> passwordFile;  // the password is its first line
  bool tls = false;
  std::optional<std::string> caFile;  // with tls: the authority the broker's certificate is checked against
};

struct SiteSettings {
  std::string name;  // topics live under veltra/<name>/
  std::string plan;  // the site plan's file; relative to the configuration's folder
};

struct PollSettings {
  double intervalS = 10;       // every module's status is read once in this time
  double budgetPercent = 20;   // at most this share of a serial line's time goes to polling
};

struct BridgeConfig {
  MqttSettings mqtt;
  LinkOptions link;  // veltra-cli's link options, same names and defaults
  SiteSettings site;
  PollSettings poll;
};

using ConfigError = plan::Error;  // FILE:LINE:COLUMN: message (plan::Describe)

struct ConfigResult {
  std::optional<BridgeConfig> config;  // set only when there is no error
  std::vector<ConfigError> errors;     // in the order of the file
};

// Parses and checks a configuration's text; fileName names it in errors and
// is where a relative plan path is taken from. Never throws.
ConfigResult ParseConfig(std::string_view text, std::string_view fileName);

// Whether the text can be a site name: letters, digits, '-' and '_' (it is
// part of topics and of Home Assistant's identifiers).
bool IsSiteName(std::string_view name);

}  // namespace veltra::bridge
