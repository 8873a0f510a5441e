// veltra-cli's argument values: the text forms the tool reads (IPv4 and MAC
// addresses, hex bytes, channel codes, raw frames) and every request of the
// catalogue built from values that its ranges accept. The input's last byte picks the part;
// the rest is its input. Nothing is sent: the tool's links stay out of the
// fuzzer.
//
// Properties: each text form is accepted exactly when a second, plain
// reading of its format accepts it, and then gives the same values; a raw
// frame that passes the check goes out as given, with header and checksum;
// every command built from in-range values is a whole frame of at most 200
// bytes with a valid checksum.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "protocol/address_text.h"
#include "protocol/command_catalogue.h"
#include "protocol/frame.h"
#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"

namespace {

using veltra::Bytes;
using veltra::fuzz::Require;

template <typename Parse>
auto Accepted(Parse parse) -> std::optional<decltype(parse())> {
  try {
    return parse();
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A.B.C.D, each 1 to 3 decimal digits, at most 255.
std::optional<std::array<std::uint8_t, 4>> PlainIpv4(const std::string& text) {
  std::array<std::uint8_t, 4> octets{};
  std::size_t part = 0, digits = 0;
  int value = 0;
  for (char c : text + '.') {
    if (c == '.') {
      if (digits == 0 || part == 4 || value > 255) return std::nullopt;
      octets[part++] = static_cast<std::uint8_t>(value);
      digits = 0, value = 0;
    } else if (c >= '0' && c <= '9' && digits < 3) {
      ++digits, value = value * 10 + (c - '0');
    } else {
      return std::nullopt;
    }
  }
  if (part != 4) return std::nullopt;
  return octets;
}

// Six hex pairs, split by ':' or '-'.
std::optional<std::array<std::uint8_t, 6>> PlainMac(const std::string& text) {
  if (text.size() != 17) return std::nullopt;
  std::array<std::uint8_t, 6> bytes{};
  for (std::size_t i = 0; i < 6; ++i) {
    const int high = HexValue(text[3 * i]), low = HexValue(text[3 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    if (i < 5 && text[3 * i + 2] != ':' && text[3 * i + 2] != '-') return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

// Tokens of whole hex pairs, none empty.
std::optional<Bytes> PlainHex(const std::vector<std::string>& tokens) {
  Bytes bytes;
  for (const std::string& token : tokens) {
    if (token.empty() || token.size() % 2) return std::nullopt;
    for (std::size_t i = 0; i < token.size(); i += 2) {
      const int high = HexValue(token[i]), low = HexValue(token[i + 1]);
      if (high < 0 || low < 0) return std::nullopt;
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
  }
  return bytes;
}

// The buffer after the send path has completed it is a whole frame.
void RequireWholeFrame(veltra::TransmitBuffer& buffer) {
  veltra::CompleteFrame(buffer.data());
  Require(veltra::fuzz::IsWholeFrame(buffer.data(), buffer[2], 8, veltra::kMaxSendLength),
          "a built command is a whole frame of 8 to 200 bytes");
}

void TextForms(FuzzedDataProvider& in) {
  const std::string text = in.ConsumeRandomLengthString(40);
  const auto ip = Accepted([&] { return veltra::ParseIpv4(text); });
  Require(ip == PlainIpv4(text), "ParseIpv4 accepts exactly A.B.C.D and returns its numbers");
  const auto mac = Accepted([&] { return veltra::ParseMac(text); });
  Require(mac == PlainMac(text), "ParseMac accepts exactly six hex pairs and returns them");
  const auto channel = Accepted([&] { return veltra::ParseChannelCode(text); });
  Require(channel.has_value() == (text == "0" || text == "1" || text == "X" || text == "x"),
          "ParseChannelCode accepts exactly 0, 1, X and x");

  std::vector<std::string> tokens{text};
  while (in.remaining_bytes() > 0) tokens.push_back(in.ConsumeRandomLengthString(12));
  const auto hex = Accepted([&] { return veltra::ParseHexBytes(tokens); });
  Require(hex == PlainHex(tokens), "ParseHexBytes accepts exactly whole hex pairs and returns them in order");
}

void RawFrame(FuzzedDataProvider& in) {
  const Bytes raw = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 220));
  const veltra::RequestSpec* send = veltra::FindRequest({"send"});
  Require(send != nullptr, "the tool has a send command");
  veltra::RequestValues values;
  values.raw = raw;
  const bool accepted = !veltra::CheckValues(*send, values);
  Require(accepted == (raw.size() >= 4 && raw.size() + 4 <= veltra::kMaxSendLength && raw[0] == raw.size() + 4),
          "a raw frame is accepted exactly when it is 4 to 196 bytes whose Length counts them with header and checksum");
  if (!accepted) return;
  veltra::TransmitBuffer buffer{};
  veltra::BuildRequest(*send, values, {}, buffer);
  RequireWholeFrame(buffer);
  Require(std::equal(raw.begin(), raw.end(), buffer.begin() + 2), "a raw frame goes out as given");
}

void AnyCommand(FuzzedDataProvider& in) {
  const auto requests = veltra::Requests();
  const veltra::RequestSpec& entry = requests[in.ConsumeIntegralInRange<std::size_t>(0, requests.size() - 1)];
  if (entry.extra == veltra::ExtraValues::RawFrame) return;
  veltra::RequestValues values;
  for (const veltra::FieldSpec& f : entry.fields) {
    // Fields with a default may be left out.
    if (f.defaultValue && in.ConsumeBool()) continue;
    values.ints[std::string(f.name)] = in.ConsumeIntegralInRange(f.min, f.max);
  }
  if (entry.extra == veltra::ExtraValues::Channels) {
    const int count = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < count; ++i) values.channelItems.push_back(in.ConsumeIntegralInRange(0, 2));
  }
  for (auto& byte : values.record) byte = in.ConsumeIntegral<std::uint8_t>();
  if (entry.id == veltra::RequestId::BindInput && values.ints.count("--param")) {
    // The parameter's range is the function's: a scene number for "Scene".
    const int function = values.ints.count("--function") ? values.ints["--function"] : 1;
    const int most = veltra::InputFunctions()[static_cast<std::size_t>(function - 1)].maxParameter;
    values.ints["--param"] = std::min(values.ints["--param"], most);
  }
  Require(!veltra::CheckValues(entry, values), "values in range pass the catalogue's check");
  const veltra::Addressing link{in.ConsumeBool() ? veltra::FrameForm::Routed : veltra::FrameForm::Direct,
                                in.ConsumeIntegralInRange(0, 65535)};
  veltra::TransmitBuffer buffer{};
  const veltra::FrameForm form = veltra::BuildRequest(entry, values, link, buffer);
  RequireWholeFrame(buffer);
  const int at = veltra::AddressOffset(form);
  Require(buffer[at + 1] == entry.cls && buffer[at + 2] == entry.command, "a request carries its entry's class and command");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: TextForms(in); break;
    case 1: RawFrame(in); break;
    default: AnyCommand(in); break;
  }
  return 0;
}
