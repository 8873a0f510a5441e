#pragma once
// Site plans written in a test, and the example plan.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "plan/site_plan.h"

namespace veltra::test {

inline plan::Plan PlanOf(const std::string& text) {
  plan::ParseResult result = plan::ParsePlan(text, "plan.toml");
  for (const plan::Error& e : result.errors) ADD_FAILURE() << plan::Describe(e);
  return result.plan.value_or(plan::Plan{});
}

inline std::string FileText(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace veltra::test
