#include "console/local_ip.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <array>

namespace veltra {

std::optional<std::string> LocalHostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return std::nullopt;
  return std::string(name.data());
}

std::optional<std::string> LocalIpWithoutLookup(const std::optional<std::string>& hostName) {
  if (!hostName || hostName->empty()) return "0.0.0.0";
  const std::string& name = *hostName;
  if (name[0] >= '0' && name[0] <= '9') {
    in_addr parsed{};
    return inet_pton(AF_INET, name.c_str(), &parsed) == 1 ? name : std::string();
  }
  return std::nullopt;
}

}  // namespace veltra
