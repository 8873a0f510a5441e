#pragma once
// What the network row takes before "Create" acts, as plain text rules (no
// Qt): "Local Port " 0 to 65535 (0: any free port), "Remote Port " 1 to
// 65535, "Remote IP " a dotted IPv4 address or a host name. Each check gives
// nothing for a value it takes and the reason, for the operator, otherwise.
#include <optional>
#include <string>
#include <string_view>

namespace veltra {

// The port a field's text names; nothing when it is not a whole number from
// `minimum` to 65535 (digits only, no sign or spaces).
std::optional<int> PortOf(std::string_view text, int minimum);

std::optional<std::string> CheckLocalPort(std::string_view text);
std::optional<std::string> CheckRemotePort(std::string_view text);
// Four numbers from 0 to 255 with dots between them, or a host name: labels
// of letters, digits and hyphens (1 to 63 characters, no hyphen at either
// end) with dots between them, at most 253 characters. Text of digits and
// dots alone is taken for an address.
std::optional<std::string> CheckRemoteHost(std::string_view text);

}  // namespace veltra
