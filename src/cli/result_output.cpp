#include "cli/result_output.h"

#include "protocol/bus_switch_commands.h"
#include "protocol/log_format.h"

namespace veltra::cli {
namespace {

std::string Dotted(const std::array<std::string, 4>& octets) {
  return octets[0] + "." + octets[1] + "." + octets[2] + "." + octets[3];
}

std::string Mac(const std::array<std::string, 6>& bytes) {
  std::string text;
  for (const std::string& b : bytes) text += (text.empty() ? "" : ":") + b;
  return text;
}

nlohmann::ordered_json Hex(const Bytes& bytes) { return HexBytes(bytes.data(), static_cast<int>(bytes.size())); }

// The labels of the record's fields in words, beside their JSON names.
struct RecordField {
  const char* key;
  const char* words;
};
constexpr RecordField kRecordFields[] = {
    {"subnet_id", "Subnet ID"}, {"ip", "IP"},         {"port", "Port"},
    {"mask", "Mask"},           {"gateway", "Gateway"}, {"server_ip", "Server IP"},
    {"server_port", "Server port"}, {"mac", "MAC"},
};

}  // namespace

nlohmann::ordered_json ResultFields(const DecodedReply& reply) {
  nlohmann::ordered_json result = nlohmann::ordered_json::object();
  switch (reply.effect) {
    case ReplyEffect::ModuleType:
      result["module_type"] = reply.text;
      break;
    case ReplyEffect::Version:
      result["version"] = reply.text;
      break;
    case ReplyEffect::ModuleAddress:
      result["address"] = reply.moduleAddress;
      break;
    case ReplyEffect::StatusBytes:
      result["outputs"] = reply.statusBits;
      break;
    case ReplyEffect::BusSwitchConfig: {
      const BusSwitchTexts t = TextsFromRecord(reply.busSwitchRecord);
      result["subnet_id"] = t.subnet;
      result["ip"] = Dotted(t.ip);
      result["port"] = std::stoi(t.port);
      result["mask"] = Dotted(t.mask);
      result["gateway"] = Dotted(t.gateway);
      result["server_ip"] = Dotted(t.serverIp);
      result["server_port"] = std::stoi(t.serverPort);
      result["mac"] = Mac(t.mac);
      break;
    }
    case ReplyEffect::None:
    case ReplyEffect::SaveScene:
    case ReplyEffect::DeleteModuleScenes:
      break;
  }
  return result;
}

nlohmann::ordered_json ExchangeJson(const ExchangeResult& e) {
  nlohmann::ordered_json j;
  j["request"] = Hex(e.frame);
  j["reply"] = e.reply ? Hex(e.reply->bytes) : nlohmann::ordered_json(nullptr);
  j["status"] = e.status ? nlohmann::ordered_json(*e.status) : nlohmann::ordered_json(nullptr);
  j["status_word"] = e.status ? nlohmann::ordered_json(StatusWord(*e.status)) : nlohmann::ordered_json(nullptr);
  j["result"] = ResultFields(e.decoded);
  j["round_trip_ms"] = e.outcome == ExchangeOutcome::Answered
                           ? nlohmann::ordered_json(std::chrono::duration<double, std::milli>(e.roundTrip).count())
                           : nlohmann::ordered_json(nullptr);
  return j;
}

nlohmann::ordered_json FrameJson(const Bytes& frame, const DecodedReply& reply, std::size_t statusOffset) {
  nlohmann::ordered_json j;
  j["reply"] = Hex(frame);
  const int status = statusOffset < frame.size() ? frame[statusOffset] : 0;
  j["status"] = status;
  j["status_word"] = StatusWord(static_cast<std::uint8_t>(status));
  j["result"] = ResultFields(reply);
  return j;
}

std::vector<std::string> ResultLines(const DecodedReply& reply) {
  const nlohmann::ordered_json fields = ResultFields(reply);
  std::vector<std::string> lines;
  if (fields.contains("module_type")) lines.push_back("Module type: " + fields["module_type"].get<std::string>());
  if (fields.contains("version")) lines.push_back("Software version: " + fields["version"].get<std::string>());
  if (fields.contains("address")) lines.push_back("Module address: " + std::to_string(fields["address"].get<int>()));
  if (fields.contains("outputs")) {
    std::string text = "Outputs:";
    int k = 1;
    for (const bool on : fields["outputs"]) {
      // Appended piece by piece: GCC 12 at -O3 warns falsely about
      // " " + std::string&& (-Wrestrict).
      text += ' ';
      text += std::to_string(k++);
      text += on ? " on," : " off,";
    }
    if (k == 1) text += " none,";
    text.pop_back();
    lines.push_back(text);
  }
  for (const RecordField& f : kRecordFields) {
    if (!fields.contains(f.key)) continue;
    const nlohmann::ordered_json& value = fields[f.key];
    lines.push_back(std::string(f.words) + ": " +
                    (value.is_string() ? value.get<std::string>() : std::to_string(value.get<int>())));
  }
  return lines;
}

}  // namespace veltra::cli
