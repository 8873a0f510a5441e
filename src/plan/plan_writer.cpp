// A plan back as TOML, in the layout of examples/site-plan.toml.
#include <cstdio>

#include "plan/site_plan.h"
#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"

namespace veltra::plan {
namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string Dotted(const std::array<std::uint8_t, 4>& octets) {
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." + std::to_string(octets[2]) + "." +
         std::to_string(octets[3]);
}

std::string Mac(const std::array<std::uint8_t, 6>& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += (text.empty() ? "" : ":") + std::string(pair);
  }
  return text;
}

std::string Times(const std::vector<OutputTime>& times) {
  std::string text = "{ ";
  for (std::size_t i = 0; i < times.size(); ++i)
    text += (i ? ", " : "") + std::to_string(times[i].output) + " = " + std::to_string(times[i].value);
  return text + " }";
}

}  // namespace

std::string WritePlan(const Plan& plan) {
  std::string out = "# Site plan: check it with `veltra-cli plan check FILE`, send it with `plan apply`.\n\n";
  if (!plan.site.empty()) out += "site = " + Quoted(plan.site) + "\n";
  out += "subnet = " + std::to_string(plan.subnet) + "\n";
  if (plan.busSwitch) {
    const BusSwitch& b = *plan.busSwitch;
    out += "\n[bus_switch]\n";
    out += "ip = " + Quoted(Dotted(b.ip)) + "\n";
    out += "port = " + std::to_string(b.port) + "\n";
    out += "mask = " + Quoted(Dotted(b.mask)) + "\n";
    out += "gateway = " + Quoted(Dotted(b.gateway)) + "\n";
    out += "server_ip = " + Quoted(Dotted(b.serverIp)) + "\n";
    out += "server_port = " + std::to_string(b.serverPort) + "\n";
    out += "mac = " + Quoted(Mac(b.mac)) + "\n";
  }
  for (const Module& m : plan.modules) {
    out += "\n[[module]]\naddress = " + std::to_string(m.address) + "\n";
    if (m.type)
      out += "type = " + Quoted(*m.type) + "\n";
    else
      out += "# type = \"....\"  # four hex digits as \"Read Module Type\" shows them; \"plan verify\" checks them\n";
    if (m.version) out += "version = " + Quoted(*m.version) + "\n";
    if (!m.name.empty()) out += "name = " + Quoted(m.name) + "\n";
    if (!m.turnOnSeconds.empty()) out += "turn_on_seconds = " + Times(m.turnOnSeconds) + "\n";
    if (!m.travelTenths.empty()) out += "travel_tenths = " + Times(m.travelTenths) + "\n";
    for (const Scene& s : m.scenes) {
      std::string codes;
      for (int item : s.channels) codes += ChannelCode(item);
      out += "\n  [[module.scene]]\n  number = " + std::to_string(s.number) + "\n  channels = " + Quoted(codes) + "\n";
    }
    for (const Binding& b : m.bindings) {
      out += "\n  [[module.input]]\n  input = " + std::to_string(b.input) + "\n";
      out += std::string("  mode = ") + (b.mode ? "\"switch\"" : "\"button\"") + "\n";
      out += "  function = " + Quoted(std::string(InputFunctions()[static_cast<std::size_t>(b.function)].item)) + "\n";
      out += "  target = " + std::to_string(b.target) + "\n  output = " + std::to_string(b.output) +
             "\n  parameter = " + std::to_string(b.parameter) + "\n";
    }
  }
  return out;
}

}  // namespace veltra::plan
