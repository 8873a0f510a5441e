#pragma once
// tshark with the dissector loaded (VELTRA_DISSECTOR names the script).
// Without tshark the tests that need it skip on a developer's machine; under
// CI (CI set to anything but "false" or "0") they fail instead.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace veltra::test {

inline bool InCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

inline bool TsharkFound() { return std::system("tshark --version >/dev/null 2>&1") == 0; }

#define REQUIRE_TSHARK()                                                                               \
  do {                                                                                                 \
    if (!::veltra::test::TsharkFound()) {                                                              \
      if (::veltra::test::InCi()) FAIL() << "tshark is missing, and CI runs every test: scripts/setup"; \
      GTEST_SKIP() << "tshark is not installed (scripts/setup installs it): dissector not tested";      \
    }                                                                                                  \
  } while (false)

inline std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  std::array<char, 4096> chunk{};
  while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) output.append(chunk.data(), n);
  ::pclose(pipe);
  return output;
}

// tshark's output over file with the given arguments; its warnings dropped.
inline std::string Tshark(const std::string& file, const std::string& arguments) {
  return RunCommand("tshark -n -r '" + file + "' -X lua_script:'" VELTRA_DISSECTOR "' " + arguments + " 2>/dev/null");
}

}  // namespace veltra::test
