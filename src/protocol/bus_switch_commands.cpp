#include "protocol/bus_switch_commands.h"

#include "protocol/int_conversion.h"
#include "protocol/request_writer.h"

namespace veltra {
namespace {

void PutOctets(BusSwitchRecord& record, std::size_t at, const std::array<std::string, 4>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) record[at + i] = Low8(StrToInt(texts[i]));
}

void PutPort(BusSwitchRecord& record, std::size_t at, const std::string& text) {
  const int port = StrToInt(text);
  record[at] = High8(port);
  record[at + 1] = Low8(port);
}

std::array<std::string, 4> OctetTexts(const BusSwitchRecord& record, std::size_t at) {
  std::array<std::string, 4> texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = std::to_string(record[at + i]);
  return texts;
}

std::string PortText(const BusSwitchRecord& record, std::size_t at) {
  return std::to_string(record[at] * 256 + record[at + 1]);
}

}  // namespace

BusSwitchRecord RecordFromTexts(const BusSwitchTexts& t) {
  BusSwitchRecord record{};
  record[0] = High8(t.subnet);
  record[1] = Low8(t.subnet);
  PutOctets(record, 2, t.ip);
  PutPort(record, 6, t.port);
  PutOctets(record, 8, t.mask);
  PutOctets(record, 12, t.gateway);
  PutOctets(record, 16, t.serverIp);
  PutPort(record, 20, t.serverPort);
  for (std::size_t i = 0; i < t.mac.size(); ++i) record[22 + i] = Low8(HexByteToInt(t.mac[i]));
  return record;
}

BusSwitchTexts TextsFromRecord(const BusSwitchRecord& record) {
  BusSwitchTexts t;
  t.subnet = record[0] * 256 + record[1];
  t.ip = OctetTexts(record, 2);
  t.port = PortText(record, 6);
  t.mask = OctetTexts(record, 8);
  t.gateway = OctetTexts(record, 12);
  t.serverIp = OctetTexts(record, 16);
  t.serverPort = PortText(record, 20);
  for (std::size_t i = 0; i < t.mac.size(); ++i) t.mac[i] = ByteToHex(record[22 + i]);
  return t;
}

}  // namespace veltra
