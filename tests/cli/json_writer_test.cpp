// The JSON the tool writes line by line: read back by a JSON parser to the
// values written, whatever the strings hold.
#include "cli/json_writer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>

namespace veltra::cli {
namespace {

TEST(JsonWriter, ReadsBackToWhatWasWritten) {
  JsonWriter w;
  w.Begin()
      .Key("text").String("quote \" backslash \\ tab \t newline \n bell \x07 del \x7F")
      .Key("utf8").String("\xE2\x80\xA6 \xC3\xA4 \xF0\x9F\x98\x80")
      .Key("int").Int(-42)
      .Key("big").Int(65535)
      .Key("double").Double(0.148582)
      .Key("tiny").Double(1e-7)
      .Key("yes").Bool(true)
      .Key("none").Null()
      .Key("list").BeginArray().Int(1).String("two").BeginArray().EndArray().EndArray()
      .Key("nested").Begin().Key("a").Raw("{\"b\":[true,false]}").End()
      .End();
  const auto j = nlohmann::json::parse(w.Text());
  EXPECT_EQ(j["text"], "quote \" backslash \\ tab \t newline \n bell \x07 del \x7F");
  EXPECT_EQ(j["utf8"], "\xE2\x80\xA6 \xC3\xA4 \xF0\x9F\x98\x80");
  EXPECT_EQ(j["int"], -42);
  EXPECT_EQ(j["big"], 65535);
  EXPECT_EQ(j["double"].get<double>(), 0.148582);
  EXPECT_EQ(j["tiny"].get<double>(), 1e-7);
  EXPECT_EQ(j["yes"], true);
  EXPECT_TRUE(j["none"].is_null());
  EXPECT_EQ(j["list"], nlohmann::json::parse(R"([1,"two",[]])"));
  EXPECT_EQ(j["nested"]["a"]["b"][1], false);
}

TEST(JsonWriter, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  for (const std::string& bad : {std::string("V\xFF" "1"), std::string("\xC3"), std::string("\xE2\x80"),
                                std::string("\xED\xA0\x80"), std::string("\xC0\xAF"), std::string("\xF5\x80\x80\x80")}) {
    JsonWriter w;
    w.Begin().Key("v").String(bad).End();
    const auto j = nlohmann::json::parse(w.Text());  // throws for invalid UTF-8
    EXPECT_NE(j["v"].get<std::string>().find("\xEF\xBF\xBD"), std::string::npos) << w.Text();
  }
  // Random bytes, many times: always JSON, and valid text stays as it was.
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 24, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    JsonWriter w;
    w.BeginArray().String(bytes).EndArray();
    const auto j = nlohmann::json::parse(w.Text());
    nlohmann::json original;
    try {
      original = nlohmann::json::parse(nlohmann::json(bytes).dump());
    } catch (const nlohmann::json::exception&) {
      continue;  // not UTF-8: replaced, checked above
    }
    EXPECT_EQ(j[0], original);
  }
}

}  // namespace
}  // namespace veltra::cli
