// Module type codes: what the bus answers "Read Module Type" with, what a
// code says about a module, and what a module of each kind can take.
#include <gtest/gtest.h>

#include "protocol/module_types.h"

namespace veltra {
namespace {

TEST(ModuleTypes, CodesReadBackToTheirKindAndChannels) {
  struct Row {
    const char* code;
    ModuleKind kind;
    int channels;
    const char* name;
  };
  const Row rows[] = {
      {"0208", ModuleKind::Light, 8, "light module with 8 outputs"},
      {"0201", ModuleKind::Light, 1, "light module with 1 output"},
      {"0104", ModuleKind::Curtain, 4, "curtain module with 4 outputs"},
      {"0301", ModuleKind::Infrared, 0, "infrared module"},
      {"0408", ModuleKind::Input, 8, "input module with 8 inputs"},
      {"0420", ModuleKind::Input, 32, "input module with 32 inputs"},  // nn is a hex byte
      {"1001", ModuleKind::BusSwitch, 0, "bus switch"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    const auto type = ParseModuleType(row.code);
    ASSERT_TRUE(type);
    EXPECT_EQ(type->kind, row.kind);
    EXPECT_EQ(type->channels, row.channels);
    EXPECT_EQ(type->Name(), row.name);
    EXPECT_EQ(type->Code(), row.code);
    EXPECT_EQ(TypeOf(row.kind, row.channels).Code(), row.code) << "the code a module of the kind answers with";
  }
  EXPECT_EQ(ParseModuleType("010a")->channels, 10) << "either case";
  EXPECT_EQ(TypeOf(ModuleKind::Infrared, 5).Code(), "0301") << "an infrared module has no channels";
  for (const char* unknown : {"", "020", "02080", "0200", "0302", "1002", "0508", "zz08", "FFFF"})
    EXPECT_FALSE(ParseModuleType(unknown)) << unknown;
}

TEST(ModuleTypes, WhatEachKindTakes) {
  const ModuleType light = *ParseModuleType("0204"), curtain = *ParseModuleType("0104"),
                   ir = *ParseModuleType("0301"), input = *ParseModuleType("0408"),
                   bus = *ParseModuleType("1001");
  EXPECT_TRUE(light.TakesTurnOnTimes());
  EXPECT_FALSE(light.TakesTravelTimes());
  EXPECT_TRUE(light.TakesScenes());
  EXPECT_FALSE(light.TakesBindings());
  EXPECT_FALSE(curtain.TakesTurnOnTimes());
  EXPECT_TRUE(curtain.TakesTravelTimes());
  EXPECT_TRUE(curtain.TakesScenes());
  EXPECT_NE(light.OutputClass(), curtain.OutputClass());
  for (const ModuleType& t : {ir, input, bus}) {
    EXPECT_FALSE(t.TakesTurnOnTimes() || t.TakesTravelTimes() || t.TakesScenes()) << t.Name();
    EXPECT_EQ(t.OutputClass(), -1) << t.Name();
  }
  EXPECT_TRUE(input.TakesBindings());
  EXPECT_FALSE(ir.TakesBindings() || bus.TakesBindings());
}

}  // namespace
}  // namespace veltra
