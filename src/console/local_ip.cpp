#include "console/local_ip.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace veltra {

std::optional<std::string> LocalHostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return std::nullopt;
  return std::string(name.data());
}

std::string LocalIpFromHostName(const std::optional<std::string>& hostName) {
  if (!hostName || hostName->empty()) return "0.0.0.0";
  const std::string& name = *hostName;
  if (name[0] >= '0' && name[0] <= '9') {
    in_addr parsed{};
    return inet_pton(AF_INET, name.c_str(), &parsed) == 1 ? name : std::string();
  }
  // gethostbyname_r keeps the order in which the name service lists the
  // addresses (getaddrinfo would sort them).
  hostent entry{};
  hostent* result = nullptr;
  int error = 0;
  std::vector<char> work(8192);
  while (gethostbyname_r(name.c_str(), &entry, work.data(), work.size(), &result, &error) == ERANGE &&
         work.size() < (1u << 20))
    work.resize(work.size() * 2);
  if (!result || result->h_addrtype != AF_INET || !result->h_addr_list || !result->h_addr_list[0])
    return std::string();
  const auto* octets = reinterpret_cast<const unsigned char*>(result->h_addr_list[0]);
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
  return text;
}

}  // namespace veltra
