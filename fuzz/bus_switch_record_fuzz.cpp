// The bus switch record's field conversion. Byte 0 picks the mode: bit 0
// clear, the rest is a record (zero-padded to 28 bytes); bit 0 set, the rest
// gives the subnet and the 24 field texts of the "Bus Switch Settings" group.
//
// Properties: a record shown in the fields converts back to itself; texts
// either convert, each field to the low bits of its value, or fail with the
// error of the first field (in record order) that does not convert; a record
// that converts goes out in the "Set" request as a valid 38-byte routed frame
// to every bus switch that carries it unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/command_catalogue.h"
#include "protocol/int_conversion.h"

namespace {

using veltra::BusSwitchRecord;
using veltra::BusSwitchTexts;
using veltra::fuzz::Require;

// A field of the record: its text, where its value goes and how it converts.
struct Field {
  std::string text;
  std::size_t at;
  int bytes;  // 1: low 8 bits; 2: low 16 bits, high byte first
  bool hex;
};

std::vector<Field> FieldsInRecordOrder(const BusSwitchTexts& t) {
  std::vector<Field> fields;
  auto octets = [&](const std::array<std::string, 4>& texts, std::size_t at) {
    for (std::size_t i = 0; i < 4; ++i) fields.push_back({texts[i], at + i, 1, false});
  };
  octets(t.ip, 2);
  fields.push_back({t.port, 6, 2, false});
  octets(t.mask, 8);
  octets(t.gateway, 12);
  octets(t.serverIp, 16);
  fields.push_back({t.serverPort, 20, 2, false});
  for (std::size_t i = 0; i < 6; ++i) fields.push_back({t.mac[i], 22 + i, 1, true});
  return fields;
}

std::optional<int> Convert(const Field& field) {
  try {
    return field.hex ? veltra::HexByteToInt(field.text) : veltra::StrToInt(field.text);
  } catch (const veltra::ConversionError&) {
    return std::nullopt;
  }
}

void CheckSetRequest(const BusSwitchRecord& record) {
  veltra::TransmitBuffer buffer{};
  std::fill(buffer.begin(), buffer.end(), 0xEE);  // what an earlier request left
  veltra::RequestValues values;
  values.record = record;
  veltra::BuildRequest(veltra::Request(veltra::RequestId::BusSwitchSet), values, {}, buffer);
  veltra::CompleteFrame(buffer.data());
  Require(veltra::fuzz::IsWholeFrame(buffer.data(), buffer[2], 38, 38), "\"Set\" is not a valid 38-byte frame");
  Require(buffer[3] == 0xFF && buffer[4] == 0xFF && buffer[5] == 0xFF && buffer[6] == 0 && buffer[7] == 0,
          "\"Set\" is not SetAddress to every bus switch at address 255");
  Require(std::equal(record.begin(), record.end(), buffer.begin() + 8), "\"Set\" does not carry the record");
}

void RecordMode(const std::uint8_t* data, std::size_t size) {
  BusSwitchRecord record{};
  std::memcpy(record.data(), data, std::min(size, record.size()));
  const BusSwitchTexts shown = veltra::TextsFromRecord(record);
  Require(veltra::RecordFromTexts(shown) == record, "a record shown in the fields does not convert back");
  CheckSetRequest(record);
}

void TextMode(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  BusSwitchTexts t;
  t.subnet = input.ConsumeIntegral<int>();
  auto text = [&] { return input.ConsumeRandomLengthString(12); };
  for (auto& s : t.ip) s = text();
  t.port = text();
  for (auto& s : t.mask) s = text();
  for (auto& s : t.gateway) s = text();
  for (auto& s : t.serverIp) s = text();
  t.serverPort = text();
  for (auto& s : t.mac) s = text();

  const std::vector<Field> fields = FieldsInRecordOrder(t);
  const Field* firstBad = nullptr;
  for (const Field& f : fields)
    if (!Convert(f)) {
      firstBad = &f;
      break;
    }
  BusSwitchRecord record{};
  try {
    record = veltra::RecordFromTexts(t);
  } catch (const veltra::ConversionError& e) {
    Require(firstBad != nullptr, "a record whose fields all convert is refused");
    const std::string message = "'" + firstBad->text + "' is not a valid integer value";
    Require(std::string(e.what()) == message.c_str(),
            "the error does not name the first field that does not convert");
    return;
  }
  Require(firstBad == nullptr, "a field that does not convert went into the record");
  Require(record[0] == ((t.subnet >> 8) & 0xFF) && record[1] == (t.subnet & 0xFF), "subnet bytes");
  for (const Field& f : fields) {
    const int value = *Convert(f);
    if (f.bytes == 2)
      Require(record[f.at] == ((value >> 8) & 0xFF) && record[f.at + 1] == (value & 0xFF), "port bytes");
    else
      Require(record[f.at] == (value & 0xFF), "octet or MAC byte");
  }
  Require(veltra::RecordFromTexts(veltra::TextsFromRecord(record)) == record, "record does not survive the fields");
  CheckSetRequest(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1)
    TextMode(data + 1, size - 1);
  else
    RecordMode(data + 1, size - 1);
  return 0;
}
