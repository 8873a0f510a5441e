// The Wireshark dissector names classes, commands and status words as the
// command catalogue does: its tables are read from the script and compared.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "protocol/command_catalogue.h"
#include "protocol/status_words.h"

namespace veltra {
namespace {

std::string Script() {
  std::ifstream in(VELTRA_DISSECTOR);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text of `local NAME = { ... }`, braces balanced.
std::string Table(const std::string& script, const std::string& name) {
  const std::size_t start = script.find("local " + name + " = {");
  if (start == std::string::npos) return {};
  std::size_t at = script.find('{', start);
  int depth = 0;
  for (std::size_t i = at; i < script.size(); ++i) {
    if (script[i] == '{') ++depth;
    if (script[i] == '}' && --depth == 0) return script.substr(at, i - at + 1);
  }
  return {};
}

// Lua list entries "[k] = {[0] = "A", "B", ...}": the quoted names of each
// inner list by position, keyed by k.
std::map<int, std::vector<std::string>> NestedLists(const std::string& table) {
  std::map<int, std::vector<std::string>> lists;
  const std::regex entry(R"(\[(\d+)\]\s*=\s*\{([^}]*)\})");
  const std::regex quoted("\"([^\"]*)\"");
  for (std::sregex_iterator it(table.begin(), table.end(), entry), end; it != end; ++it) {
    const std::string inner = (*it)[2];
    auto& names = lists[std::stoi((*it)[1])];
    for (std::sregex_iterator q(inner.begin(), inner.end(), quoted); q != end; ++q) names.push_back((*q)[1]);
  }
  return lists;
}

// "[k] = "word"" pairs.
std::map<int, std::string> Pairs(const std::string& table) {
  std::map<int, std::string> pairs;
  const std::regex entry(R"(\[(\d+)\]\s*=\s*\"([^\"]*)\")");
  for (std::sregex_iterator it(table.begin(), table.end(), entry), end; it != end; ++it)
    pairs[std::stoi((*it)[1])] = (*it)[2];
  return pairs;
}

TEST(DissectorNames, CommandsClassesAndStatusWordsAreTheCatalogues) {
  const std::string script = Script();
  ASSERT_FALSE(script.empty()) << VELTRA_DISSECTOR;

  std::map<int, std::vector<std::string>> catalogue;
  for (const WireCommand& c : WireCommands()) {
    auto& names = catalogue[c.cls];
    ASSERT_EQ(names.size(), c.command) << "the catalogue numbers each class's commands from 0";
    names.emplace_back(c.name);
  }
  EXPECT_EQ(NestedLists(Table(script, "COMMAND_NAMES")), catalogue);

  std::map<int, std::string> classes;
  for (int cls = 0; cls < 4; ++cls) classes[cls] = std::string(ClassName(static_cast<std::uint8_t>(cls)));
  EXPECT_EQ(Pairs(Table(script, "CLASS_NAMES")), classes);

  std::map<int, std::string> words;
  for (const StatusWordEntry& e : StatusWords()) words[e.status] = std::string(e.word);
  EXPECT_EQ(Pairs(Table(script, "STATUS_WORDS")), words);
  EXPECT_NE(script.find("or \"" + std::string(StatusWord(0)) + "\""), std::string::npos)
      << "any other status is \"Response error!\"";
}

}  // namespace
}  // namespace veltra
