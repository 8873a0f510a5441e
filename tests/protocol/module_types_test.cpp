// Module types read as the bus answers them: the family and the number of
// outputs or inputs, for every module kind the simulated bus has, and
// nothing for text that is not a module type.
#include <gtest/gtest.h>

#include "protocol/module_types.h"
#include "sim/sim_bus.h"

namespace veltra {
namespace {

std::string TypeText(const SimModule& module) {
  const auto bytes = ModuleType(module);
  char text[5];
  std::snprintf(text, sizeof text, "%02X%02X", bytes[0], bytes[1]);
  return text;
}

TEST(ModuleTypes, EveryKindTheBusAnswersIsKnownWithItsChannels) {
  struct Case {
    const char* population;
    ModuleFamily family;
    int channels;
  };
  for (const Case& c : {Case{"light@1", ModuleFamily::Light, 8}, Case{"light:3@1", ModuleFamily::Light, 3},
                        Case{"curtain@1", ModuleFamily::Curtain, 4}, Case{"curtain:2@1", ModuleFamily::Curtain, 2},
                        Case{"ir@1", ModuleFamily::Infrared, 0}, Case{"input:32@1", ModuleFamily::Input, 32}}) {
    const SimBus bus(ParsePopulation(c.population));
    const std::string type = TypeText(*bus.Module(1));
    const auto info = DescribeModuleType(type);
    ASSERT_TRUE(info) << c.population << " answers " << type;
    EXPECT_EQ(info->family, c.family) << type;
    EXPECT_EQ(info->channels, c.channels) << type;
  }
  const auto busSwitch = DescribeModuleType("1001");
  ASSERT_TRUE(busSwitch);
  EXPECT_EQ(busSwitch->family, ModuleFamily::BusSwitch);
  // Plans may write the digits in either case.
  ASSERT_TRUE(DescribeModuleType("041a"));
  EXPECT_EQ(DescribeModuleType("041a")->channels, 26);
  EXPECT_EQ(DescribeModuleType("041A")->channels, 26);
  EXPECT_FALSE(DescribeModuleType("020A"));  // ten outputs: no light module has them
  EXPECT_TRUE(HasOutputs(ModuleFamily::Curtain));
  EXPECT_FALSE(HasOutputs(ModuleFamily::Input));
}

TEST(ModuleTypes, TextThatIsNoModuleTypeIsRefused) {
  for (const char* text : {"", "020", "02080", "0x08", "02 8", "-208", "0200", "0302", "0900", "ZZ08", "1002"})
    EXPECT_FALSE(DescribeModuleType(text)) << '"' << text << '"';
}

}  // namespace
}  // namespace veltra
