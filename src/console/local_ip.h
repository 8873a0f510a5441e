#pragma once
// The "Local IP " text shown at start-up.
#include <optional>
#include <string>

namespace veltra {

// From a host name: "0.0.0.0" when there is none (nullopt or empty); a name
// that begins with a digit is taken as it is when it is a dotted IPv4 address
// and gives an empty text otherwise; any other name is resolved and its first
// IPv4 address is shown, or an empty text when resolution fails.
std::string LocalIpFromHostName(const std::optional<std::string>& hostName);

// The computer's own host name, or nullopt when the system cannot tell.
std::optional<std::string> LocalHostName();

}  // namespace veltra
