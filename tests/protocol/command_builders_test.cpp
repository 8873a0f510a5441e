// Every request builder against hand-computed bytes. The builders write
// Length and the fields after it; the send path adds header and checksum, so
// Fields() shows offsets 2 .. Length-3 and Frame() the completed frame.
#include <gtest/gtest.h>

#include "../support/bytes.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/input_commands.h"
#include "protocol/int_conversion.h"
#include "protocol/module_commands.h"
#include "protocol/output_commands.h"
#include "protocol/scene_commands.h"

namespace veltra {
namespace {

constexpr Addressing kDirect{FrameForm::Direct, 0};
constexpr Addressing kRouted1{FrameForm::Routed, 1};

std::string Fields(const TransmitBuffer& b) { return test::Hex(b.data() + 2, b[2] - 4u); }
std::string Frame(TransmitBuffer b) {
  CompleteFrame(b.data());
  return test::Hex(b.data(), b[2]);
}

TEST(ModuleCommands, BothFormsOfEveryButton) {
  struct Row { ModuleCommand command; const char* direct; const char* routed; };
  const Row rows[] = {
      {ModuleCommand::SetAddress, "09 FF 00 00 07", "0B 00 01 FF 00 00 07"},
      {ModuleCommand::ReadAddress, "08 FF 00 05", "0A 00 01 FF 00 05"},
      {ModuleCommand::TestModule, "08 07 00 09", "0A 00 01 07 00 09"},
      {ModuleCommand::ReadModuleType, "08 07 00 06", "0A 00 01 07 00 06"},
      {ModuleCommand::ReadVersion, "08 07 00 07", "0A 00 01 07 00 07"},
      {ModuleCommand::Restore, "08 07 00 0A", "0A 00 01 07 00 0A"},
  };
  for (const auto& row : rows) {
    TransmitBuffer b{};
    BuildModuleCommand(b, row.command, kDirect, 7);
    EXPECT_EQ(Fields(b), row.direct);
    BuildModuleCommand(b, row.command, kRouted1, 7);
    EXPECT_EQ(Fields(b), row.routed);
  }
}

TEST(ModuleCommands, ExamplesAndBoundaries) {
  TransmitBuffer b{};
  BuildModuleCommand(b, ModuleCommand::SetAddress, kDirect, 3);
  EXPECT_EQ(Frame(b), "55 AA 09 FF 00 00 03 57 A0");
  BuildModuleCommand(b, ModuleCommand::ReadAddress, kDirect, 3);
  EXPECT_EQ(Frame(b), "55 AA 08 FF 00 05 57 A1");
  BuildModuleCommand(b, ModuleCommand::ReadAddress, kRouted1, 3);
  EXPECT_EQ(Frame(b), "55 AA 0A 00 01 FF 00 05 57 A4");
  // Subnet 258 goes high byte first; addresses 0 and 33 are sent as they are.
  BuildModuleCommand(b, ModuleCommand::TestModule, {FrameForm::Routed, 258}, 33);
  EXPECT_EQ(Fields(b), "0A 01 02 21 00 09");
  BuildModuleCommand(b, ModuleCommand::SetAddress, kDirect, 0);
  EXPECT_EQ(Fields(b), "09 FF 00 00 00");
  // Subnet keeps its low 16 bits only.
  BuildModuleCommand(b, ModuleCommand::ReadVersion, {FrameForm::Routed, 0x1FFFE}, 1);
  EXPECT_EQ(Fields(b), "0A FF FE 01 00 07");
}

TEST(OutputCommands, LightAndCurtainTable) {
  struct Row { OutputCommand command; OutputFields fields; const char* direct; };
  const Row rows[] = {
      {OutputCommand::LightOn, {1, 1, 0}, "0A 01 02 01 00 FF"},
      {OutputCommand::LightOff, {2, 8, 0}, "0A 02 02 02 07 FF"},
      {OutputCommand::LightToggle, {32, 3, 0}, "0A 20 02 03 02 FF"},
      {OutputCommand::LightAllOn, {5, 6, 0}, "0A FF 02 04 FF FF"},
      {OutputCommand::LightAllOff, {5, 6, 0}, "0A FF 02 05 FF FF"},
      {OutputCommand::LightSetOnTime, {1, 1, 65001}, "0B 01 02 00 00 FD E9"},
      {OutputCommand::LightSetOnTime, {1, 1, 0}, "0B 01 02 00 00 00 00"},
      {OutputCommand::LightReadStatus, {9, 4, 0}, "08 09 00 08"},
      {OutputCommand::CurtainOpen, {3, 1, 0}, "0A 03 01 01 00 FF"},
      {OutputCommand::CurtainClose, {3, 4, 0}, "0A 03 01 02 03 FF"},
      {OutputCommand::CurtainStop, {3, 2, 0}, "0A 03 01 03 01 FF"},
      {OutputCommand::CurtainOpenAll, {3, 2, 0}, "0A FF 01 04 FF FF"},
      {OutputCommand::CurtainCloseAll, {3, 2, 0}, "0A FF 01 05 FF FF"},
      {OutputCommand::CurtainStopAll, {3, 2, 0}, "0A FF 01 06 FF FF"},
      {OutputCommand::CurtainSetTravelTime, {1, 1, 601}, "0B 01 01 00 00 EA C4"},
      {OutputCommand::CurtainSetTravelTime, {1, 1, 0}, "0B 01 01 00 00 00 00"},
      {OutputCommand::CurtainReadStatus, {4, 4, 0}, "08 04 00 08"},
  };
  for (const auto& row : rows) {
    TransmitBuffer b{};
    BuildOutputCommand(b, row.command, kDirect, row.fields);
    EXPECT_EQ(Fields(b), row.direct);
    // The routed form is the direct one with the subnet after Length.
    BuildOutputCommand(b, row.command, {FrameForm::Routed, 0x0102}, row.fields);
    std::string routed = row.direct;
    const int length = std::stoi(routed.substr(0, 2), nullptr, 16) + 2;
    routed.replace(0, 2, test::Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(length), 1, 2}));
    EXPECT_EQ(Fields(b), routed);
  }
}

TEST(OutputCommands, WorkedExamples) {
  TransmitBuffer b{};
  BuildOutputCommand(b, OutputCommand::LightOn, kDirect, {1, 1, 0});
  EXPECT_EQ(Frame(b), "55 AA 0A 01 02 01 00 FF 57 A6");
  BuildOutputCommand(b, OutputCommand::LightOn, kRouted1, {1, 1, 0});
  EXPECT_EQ(Frame(b), "55 AA 0C 00 01 01 02 01 00 FF 57 A5");
  BuildOutputCommand(b, OutputCommand::CurtainSetTravelTime, kDirect, {1, 1, 200});
  EXPECT_EQ(Frame(b), "55 AA 0B 01 01 00 00 4E 20 54 D0");
  BuildOutputCommand(b, OutputCommand::LightSetOnTime, kRouted1, {1, 1, 300});
  EXPECT_EQ(Frame(b), "55 AA 0D 00 01 01 02 00 00 01 2C 54 97");
}

TEST(InputCommands, InfraredAlwaysDirectCodeNotShifted) {
  TransmitBuffer b{};
  BuildInfraredCommand(b, InfraredCommand::SendCode, 2, 5);
  EXPECT_EQ(Frame(b), "55 AA 0A 02 03 04 01 05 54 B2");
  BuildInfraredCommand(b, InfraredCommand::LearnOn, 1, 9);
  EXPECT_EQ(Fields(b), "0A 01 03 00 01 FF");
  BuildInfraredCommand(b, InfraredCommand::LearnOff, 1, 9);
  EXPECT_EQ(Fields(b), "0A 01 03 01 01 FF");
  BuildInfraredCommand(b, InfraredCommand::DeleteCode, 1, 0);
  EXPECT_EQ(Fields(b), "0A 01 03 02 01 00");
  BuildInfraredCommand(b, InfraredCommand::DeleteCode, 1, 249);
  EXPECT_EQ(Fields(b), "0A 01 03 02 01 F9");
  BuildInfraredCommand(b, InfraredCommand::DeleteAllCodes, 32, 7);
  EXPECT_EQ(Fields(b), "0A 20 03 03 01 FF");
}

TEST(InputCommands, FunctionTableAndFillers) {
  ASSERT_EQ(InputFunctions().size(), 12u);
  EXPECT_EQ(InputFunctions()[11].item, "Scene");
  TransmitBuffer b{};
  BindInputFields f{1, 1, 2, 1, 0, 0, 0};
  BuildBindInput(b, kDirect, f);
  EXPECT_EQ(Frame(b), "55 AA 0F 01 00 01 00 00 02 01 02 00 00 54 BF");

  f = {4, 32, 9, 8, 1, 2, 17};  // Toggle Light, Switch
  BuildBindInput(b, kRouted1, f);
  EXPECT_EQ(Fields(b), "11 00 01 04 00 01 1F 01 02 03 09 07 11");
  for (int all : {3, 4, 8, 9, 10}) {
    f.function = all;
    BuildBindInput(b, kDirect, f);
    const auto& fn = InputFunctions()[static_cast<std::size_t>(all)];
    const std::string expected = "0F 04 00 01 1F 01 " +
                                 test::Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(fn.targetClass),
                                                                     static_cast<std::uint8_t>(fn.targetCommand)}) +
                                 " FF FF FF";
    EXPECT_EQ(Fields(b), expected) << fn.item;
  }
  f.function = 11;  // Scene: class 0, command 4, address and output 255, parameter kept
  BuildBindInput(b, kDirect, f);
  EXPECT_EQ(Fields(b), "0F 04 00 01 1F 01 00 04 FF FF 11");
  f.function = 7;  // Stop Curtain
  BuildBindInput(b, kDirect, f);
  EXPECT_EQ(Fields(b), "0F 04 00 01 1F 01 01 03 09 07 11");

  BuildClearInput(b, kDirect, 4, 32);
  EXPECT_EQ(Fields(b), "0F 04 00 01 1F FF FF FF FF FF FF");
  BuildClearInput(b, kRouted1, 4, 1);
  EXPECT_EQ(Fields(b), "11 00 01 04 00 01 00 FF FF FF FF FF FF");
}

TEST(SceneCommands, SetClearTest) {
  TransmitBuffer b{};
  const std::array<int, 8> items{1, 2, 0, 0, 0, 0, 0, 1};
  BuildSetScene(b, kDirect, 1, 0, 2, items);
  EXPECT_EQ(Frame(b), "55 AA 0B 01 00 02 00 01 FF 57 A7");
  BuildSetScene(b, kRouted1, 1, 0, 2, items);
  EXPECT_EQ(Frame(b), "55 AA 0D 00 01 01 00 02 00 01 FF 57 BA");
  BuildSetScene(b, kDirect, 5, 50, 1, items);
  EXPECT_EQ(Fields(b), "0A 05 00 02 32 01");
  BuildSetScene(b, kDirect, 5, 50, 8, items);
  EXPECT_EQ(Fields(b), "11 05 00 02 32 01 FF 00 00 00 00 00 01");
  BuildTestScene(b, kDirect, 5);
  EXPECT_EQ(Frame(b), "55 AA 0A FF 00 04 FF 05 56 BA");
  BuildTestScene(b, kRouted1, 5);
  EXPECT_EQ(Fields(b), "0C 00 01 FF 00 04 FF 05");
  BuildClearScene(b, kDirect, 3, 7);
  EXPECT_EQ(Frame(b), "55 AA 09 03 00 03 07 54 BF");
  BuildClearScene(b, kRouted1, 3, 7);
  EXPECT_EQ(Fields(b), "0B 00 01 03 00 03 07");
  EXPECT_EQ(ChannelCode(0), "0");
  EXPECT_EQ(ChannelCode(1), "1");
  EXPECT_EQ(ChannelCode(2), "X");
}

TEST(BusSwitchCommands, SetCarriesTheRecordInScreenOrder) {
  BusSwitchTexts t;
  t.subnet = 258;
  t.ip = {"192", "168", "14", "3"};
  t.port = "2001";
  t.mask = {"255", "255", "255", "0"};
  t.gateway = {"192", "168", "14", "1"};
  t.serverIp = {"192", "168", "14", "20"};
  t.serverPort = "2002";
  t.mac = {"00", "1a", "2B", "3C", "4D", "5E"};
  TransmitBuffer b{};
  BuildBusSwitchSet(b, RecordFromTexts(t));
  EXPECT_EQ(Fields(b),
            "26 FF FF FF 00 00 01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 C0 A8 0E 14 07 D2 "
            "00 1A 2B 3C 4D 5E");
  TransmitBuffer framed = b;
  CompleteFrame(framed.data());
  EXPECT_EQ(framed[2], 38);

  // Octets keep their low 8 bits; a one-digit MAC is a byte; back to text.
  t.ip[0] = "256";
  t.ip[1] = "300";
  t.mac[0] = "A";
  const auto record = RecordFromTexts(t);
  EXPECT_EQ(record[2], 0);
  EXPECT_EQ(record[3], 44);
  EXPECT_EQ(record[22], 0x0A);
  const auto back = TextsFromRecord(record);
  EXPECT_EQ(back.mac[0], "0A");
  EXPECT_EQ(back.mac[1], "1A");
  EXPECT_EQ(back.port, "2001");
  EXPECT_EQ(back.subnet, 258);
  EXPECT_EQ(back.ip[1], "44");
}

TEST(BusSwitchCommands, FieldThatDoesNotConvertNamesItsText) {
  BusSwitchTexts t;
  t.ip = {"1", "2", "3", "4"};
  t.port = "";
  t.mask = t.gateway = t.serverIp = t.ip;
  t.serverPort = "1";
  t.mac = {"0", "0", "0", "0", "0", "0"};
  try {
    RecordFromTexts(t);
    FAIL() << "empty port converted";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid integer value");
  }
  t.port = "1";
  t.mac[5] = "G1";
  EXPECT_THROW(RecordFromTexts(t), ConversionError);
  t.mac[5] = "123";
  EXPECT_THROW(RecordFromTexts(t), ConversionError);
}

TEST(BusSwitchCommands, ReadAndQueries) {
  TransmitBuffer b{};
  BuildBusSwitchRead(b);
  EXPECT_EQ(Fields(b), "0A FF FF FF 00 05");
  BuildBusSwitchQuery(b, BusSwitchQuery::ReadModuleType, 258);
  EXPECT_EQ(Fields(b), "0A 01 02 FF 00 06");
  BuildBusSwitchQuery(b, BusSwitchQuery::ReadVersion, 1);
  EXPECT_EQ(Fields(b), "0A 00 01 FF 00 07");
  BuildBusSwitchQuery(b, BusSwitchQuery::Restore, 1);
  EXPECT_EQ(Fields(b), "0A 00 01 FF 00 0A");
}

TEST(IntConversion, DecimalRules) {
  EXPECT_EQ(StrToInt("2002"), 2002);
  EXPECT_EQ(StrToInt("-5"), -5);
  EXPECT_EQ(StrToInt(" +7"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "-", "12a", "1.5", "2147483648", "99999999999999999999"})
    EXPECT_THROW(StrToInt(bad), ConversionError) << bad;
}

}  // namespace
}  // namespace veltra
