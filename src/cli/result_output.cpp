#include "cli/result_output.h"

#include <cstdio>
#include <ctime>

#include "protocol/bus_switch_commands.h"
#include "protocol/command_catalogue.h"
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

std::string IsoTime(std::chrono::system_clock::time_point at) {
  const auto since = at.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds).count();
  // The date, time and offset of one second, made once for all the lines
  // that fall into it.
  thread_local long long cachedSecond = -1;
  thread_local char date[32], zone[8];
  if (seconds.count() != cachedSecond) {
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    ::localtime_r(&whole, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);  // +0100
    cachedSecond = seconds.count();
  }
  std::string text(date);
  text += '.';
  text += static_cast<char>('0' + ms / 100);
  text += static_cast<char>('0' + ms / 10 % 10);
  text += static_cast<char>('0' + ms % 10);
  text.append(zone, 3);
  text += ':';
  text.append(zone + 3, 2);
  return text;
}

FrameFacts FactsOf(const Bytes& frame, FrameForm form) {
  FrameFacts facts;
  const std::size_t at = static_cast<std::size_t>(AddressOffset(form));
  if (frame.size() < at + 3) return facts;
  facts.address = frame[at];
  facts.reply = (frame[at + 1] & 0x80) != 0;
  facts.command = std::string(CommandName(frame[at + 1], frame[at + 2]));
  if (form == FrameForm::Routed) facts.subnet = frame[3] * 256 + frame[4];
  return facts;
}

std::string BytesPreview(const Bytes& bytes) {
  constexpr std::size_t kShown = 16;
  const std::size_t shown = std::min(bytes.size(), kShown);
  std::string text = std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes");
  if (shown) text += ": " + HexBytes(bytes.data(), static_cast<int>(shown));
  if (shown < bytes.size()) text += " \u2026";
  return text;
}

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

std::string JsonLine(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// ResultFields as the writer writes it, without a document in between; the
// bus switch's record (rare) goes through the document.
void WriteResult(JsonWriter& w, const DecodedReply& reply) {
  switch (reply.effect) {
    case ReplyEffect::ModuleType:
      w.Begin().Key("module_type").String(reply.text).End();
      return;
    case ReplyEffect::Version:
      w.Begin().Key("version").String(reply.text).End();
      return;
    case ReplyEffect::ModuleAddress:
      w.Begin().Key("address").Int(reply.moduleAddress).End();
      return;
    case ReplyEffect::StatusBytes:
      w.Begin().Key("outputs").BeginArray();
      for (const bool on : reply.statusBits) w.Bool(on);
      w.EndArray().End();
      return;
    case ReplyEffect::BusSwitchConfig:
      w.Raw(JsonLine(ResultFields(reply)));
      return;
    case ReplyEffect::None:
    case ReplyEffect::SaveScene:
    case ReplyEffect::DeleteModuleScenes:
      w.Begin().End();
      return;
  }
}

void WriteExchange(JsonWriter& w, const ExchangeResult& e) {
  const FrameFacts facts = FactsOf(e.frame, e.request.form);
  const std::string_view name = e.request.spec && !e.request.spec->name.empty() ? e.request.spec->name
                                                                                 : std::string_view(facts.command);
  w.Key("command");
  name.empty() ? w.Null() : w.String(name);
  w.Key("address").Int(facts.address);
  w.Key("subnet");
  facts.subnet ? w.Int(*facts.subnet) : w.Null();
  w.Key("time").String(IsoTime(e.sentAt));
  w.Key("request").String(HexBytes(e.frame.data(), static_cast<int>(e.frame.size())));
  w.Key("reply");
  e.reply ? w.String(HexBytes(e.reply->bytes.data(), static_cast<int>(e.reply->bytes.size()))) : w.Null();
  w.Key("reply_invalid");
  e.notAFrame ? w.String(HexBytes(e.notAFrame->bytes.data(), static_cast<int>(e.notAFrame->bytes.size()))) : w.Null();
  w.Key("status");
  e.status ? w.Int(*e.status) : w.Null();
  w.Key("status_word");
  e.status ? w.String(StatusWord(*e.status)) : w.Null();
  w.Key("result");
  WriteResult(w, e.decoded);
  w.Key("round_trip_ms");
  e.outcome == ExchangeOutcome::Answered ? w.Double(std::chrono::duration<double, std::milli>(e.roundTrip).count())
                                         : w.Null();
}

std::string ExchangeJson(const ExchangeResult& e) {
  JsonWriter w;
  w.Begin();
  WriteExchange(w, e);
  w.End();
  return w.Take();
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

std::vector<std::string> QuietLines(const DecodedReply& reply) {
  std::vector<std::string> lines;
  const nlohmann::ordered_json fields = ResultFields(reply);
  for (const auto& [key, value] : fields.items()) {
    if (value.is_string()) {
      lines.push_back(value.get<std::string>());
    } else if (value.is_array()) {
      std::string digits;
      for (const bool on : value) digits += on ? '1' : '0';
      lines.push_back(digits);
    } else {
      lines.push_back(JsonLine(value));
    }
  }
  return lines;
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
