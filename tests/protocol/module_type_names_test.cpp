// The names the window shows beside a module type's four hex digits.
#include <gtest/gtest.h>

#include "protocol/module_types.h"

namespace veltra {
namespace {

TEST(ModuleTypeNames, KnownKindsByTheirCountAndNothingForOtherText) {
  EXPECT_EQ(ModuleTypeName("0208"), "Light-8");
  EXPECT_EQ(ModuleTypeName("0104"), "Curtain-4");
  EXPECT_EQ(ModuleTypeName("0301"), "IR");
  EXPECT_EQ(ModuleTypeName("040c"), "Input-12");
  EXPECT_EQ(ModuleTypeName("1001"), "Bus switch");
  for (const char* unknown : {"0200", "0302", "012A", "BEEF", "208", "02080", "02G8", "+208", ""})
    EXPECT_EQ(ModuleTypeName(unknown), std::nullopt) << unknown;
}

}  // namespace
}  // namespace veltra
