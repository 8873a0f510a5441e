#pragma once
// Requests of the command catalogue as complete frames, for tests that play
// the console's side of a bus.
#include <map>
#include <string>

#include "protocol/command_catalogue.h"

namespace veltra::test {

inline Bytes RequestFrame(RequestId id, const std::map<std::string, int>& ints, const Addressing& link,
                          RequestValues values = {}) {
  for (const auto& [name, value] : ints) values.ints[name] = value;
  TransmitBuffer buffer{};
  BuildRequest(Request(id), values, link, buffer);
  CompleteFrame(buffer.data());
  return Bytes(buffer.begin(), buffer.begin() + buffer[2]);
}

// The module, output and time of a light or curtain request, as far as the
// request takes them (seconds for lights, tenths for curtains).
inline std::map<std::string, int> OutputFields(RequestId id, int module, int output = 1, int time = 0) {
  const RequestSpec& spec = Request(id);
  std::map<std::string, int> ints;
  if (spec.HasField("ADDR")) ints["ADDR"] = module;
  if (spec.HasField("OUTPUT")) ints["OUTPUT"] = output;
  if (spec.HasField("SECONDS")) ints["SECONDS"] = time;
  if (spec.HasField("TENTHS")) ints["TENTHS"] = time;
  return ints;
}

}  // namespace veltra::test
