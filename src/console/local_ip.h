#pragma once
// The "Local IP " text shown at start-up.
#include <optional>
#include <string>

namespace veltra {

// What a host name shows without asking the name service: "0.0.0.0" when
// there is none (nullopt or empty); a name that begins with a digit as it is
// when it is a dotted IPv4 address, or an empty text otherwise. nullopt for
// any other name: it is resolved, and the first IPv4 address of the answer
// is shown (an empty text when resolution fails).
std::optional<std::string> LocalIpWithoutLookup(const std::optional<std::string>& hostName);

// The computer's own host name, or nullopt when the system cannot tell.
std::optional<std::string> LocalHostName();

}  // namespace veltra
