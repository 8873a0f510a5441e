// Every request of the catalogue against hand-computed bytes, and the
// catalogue's own rules. The builders write Length and the fields after it;
// the send path adds header and checksum, so Fields() shows offsets
// 2 .. Length-3 and Frame() the completed frame.
#include <gtest/gtest.h>

#include <set>

#include "../support/bytes.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/command_catalogue.h"
#include "protocol/input_commands.h"
#include "protocol/int_conversion.h"
#include "protocol/scene_commands.h"
#include "protocol/status_words.h"

namespace veltra {
namespace {

constexpr Addressing kDirect{FrameForm::Direct, 0};
constexpr Addressing kRouted1{FrameForm::Routed, 1};

using Ints = std::map<std::string, int>;

TransmitBuffer Built(RequestId id, const Ints& ints, const Addressing& addressing, RequestValues values = {}) {
  for (const auto& [name, value] : ints) values.ints[name] = value;
  TransmitBuffer b{};
  BuildRequest(Request(id), values, addressing, b);
  return b;
}
std::string Fields(RequestId id, const Ints& ints, const Addressing& addressing = kDirect, RequestValues values = {}) {
  const TransmitBuffer b = Built(id, ints, addressing, std::move(values));
  return test::Hex(b.data() + 2, b[2] - 4u);
}
std::string Frame(RequestId id, const Ints& ints, const Addressing& addressing = kDirect, RequestValues values = {}) {
  TransmitBuffer b = Built(id, ints, addressing, std::move(values));
  CompleteFrame(b.data());
  return test::Hex(b.data(), b[2]);
}

TEST(ModuleRequests, BothFormsOfEveryButton) {
  struct Row { RequestId id; Ints ints; const char* direct; const char* routed; };
  const Row rows[] = {
      {RequestId::SetAddress, {{"NEW", 7}}, "09 FF 00 00 07", "0B 00 01 FF 00 00 07"},
      {RequestId::ReadAddress, {}, "08 FF 00 05", "0A 00 01 FF 00 05"},
      {RequestId::TestModule, {{"ADDR", 7}}, "08 07 00 09", "0A 00 01 07 00 09"},
      {RequestId::ReadModuleType, {{"ADDR", 7}}, "08 07 00 06", "0A 00 01 07 00 06"},
      {RequestId::ReadVersion, {{"ADDR", 7}}, "08 07 00 07", "0A 00 01 07 00 07"},
      {RequestId::Restore, {{"ADDR", 7}}, "08 07 00 0A", "0A 00 01 07 00 0A"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Fields(row.id, row.ints), row.direct);
    EXPECT_EQ(Fields(row.id, row.ints, kRouted1), row.routed);
  }
}

TEST(ModuleRequests, ExamplesAndBoundaries) {
  EXPECT_EQ(Frame(RequestId::SetAddress, {{"NEW", 3}}), "55 AA 09 FF 00 00 03 57 A0");
  EXPECT_EQ(Frame(RequestId::ReadAddress, {}), "55 AA 08 FF 00 05 57 A1");
  EXPECT_EQ(Frame(RequestId::ReadAddress, {}, kRouted1), "55 AA 0A 00 01 FF 00 05 57 A4");
  // Subnet 258 goes high byte first; addresses 0 and 33 are sent as they are.
  EXPECT_EQ(Fields(RequestId::TestModule, {{"ADDR", 33}}, {FrameForm::Routed, 258}), "0A 01 02 21 00 09");
  EXPECT_EQ(Fields(RequestId::SetAddress, {{"NEW", 0}}), "09 FF 00 00 00");
  // Subnet keeps its low 16 bits only.
  EXPECT_EQ(Fields(RequestId::ReadVersion, {{"ADDR", 1}}, {FrameForm::Routed, 0x1FFFE}), "0A FF FE 01 00 07");
}

TEST(OutputRequests, LightAndCurtainTable) {
  struct Row { RequestId id; Ints ints; const char* direct; };
  const Row rows[] = {
      {RequestId::LightOn, {{"ADDR", 1}, {"OUTPUT", 1}}, "0A 01 02 01 00 FF"},
      {RequestId::LightOff, {{"ADDR", 2}, {"OUTPUT", 8}}, "0A 02 02 02 07 FF"},
      {RequestId::LightToggle, {{"ADDR", 32}, {"OUTPUT", 3}}, "0A 20 02 03 02 FF"},
      {RequestId::LightAllOn, {}, "0A FF 02 04 FF FF"},
      {RequestId::LightAllOff, {}, "0A FF 02 05 FF FF"},
      {RequestId::LightSetOnTime, {{"ADDR", 1}, {"OUTPUT", 1}, {"SECONDS", 65001}}, "0B 01 02 00 00 FD E9"},
      {RequestId::LightSetOnTime, {{"ADDR", 1}, {"OUTPUT", 1}, {"SECONDS", 0}}, "0B 01 02 00 00 00 00"},
      {RequestId::ReadStatus, {{"ADDR", 9}}, "08 09 00 08"},
      {RequestId::CurtainOpen, {{"ADDR", 3}, {"OUTPUT", 1}}, "0A 03 01 01 00 FF"},
      {RequestId::CurtainClose, {{"ADDR", 3}, {"OUTPUT", 4}}, "0A 03 01 02 03 FF"},
      {RequestId::CurtainStop, {{"ADDR", 3}, {"OUTPUT", 2}}, "0A 03 01 03 01 FF"},
      {RequestId::CurtainOpenAll, {}, "0A FF 01 04 FF FF"},
      {RequestId::CurtainCloseAll, {}, "0A FF 01 05 FF FF"},
      {RequestId::CurtainStopAll, {}, "0A FF 01 06 FF FF"},
      {RequestId::CurtainSetTravelTime, {{"ADDR", 1}, {"OUTPUT", 1}, {"TENTHS", 601}}, "0B 01 01 00 00 EA C4"},
      {RequestId::CurtainSetTravelTime, {{"ADDR", 1}, {"OUTPUT", 1}, {"TENTHS", 0}}, "0B 01 01 00 00 00 00"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Fields(row.id, row.ints), row.direct);
    // The routed form is the direct one with the subnet after Length.
    std::string routed = row.direct;
    const int length = std::stoi(routed.substr(0, 2), nullptr, 16) + 2;
    routed.replace(0, 2, test::Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(length), 1, 2}));
    EXPECT_EQ(Fields(row.id, row.ints, {FrameForm::Routed, 0x0102}), routed);
  }
}

TEST(OutputRequests, WorkedExamples) {
  const Ints one{{"ADDR", 1}, {"OUTPUT", 1}};
  EXPECT_EQ(Frame(RequestId::LightOn, one), "55 AA 0A 01 02 01 00 FF 57 A6");
  EXPECT_EQ(Frame(RequestId::LightOn, one, kRouted1), "55 AA 0C 00 01 01 02 01 00 FF 57 A5");
  EXPECT_EQ(Frame(RequestId::CurtainSetTravelTime, {{"ADDR", 1}, {"OUTPUT", 1}, {"TENTHS", 200}}),
            "55 AA 0B 01 01 00 00 4E 20 54 D0");
  EXPECT_EQ(Frame(RequestId::LightSetOnTime, {{"ADDR", 1}, {"OUTPUT", 1}, {"SECONDS", 300}}, kRouted1),
            "55 AA 0D 00 01 01 02 00 00 01 2C 54 97");
}

TEST(InputRequests, InfraredAlwaysDirectCodeNotShifted) {
  EXPECT_EQ(Frame(RequestId::InfraredSendCode, {{"ADDR", 2}, {"CODE", 5}}), "55 AA 0A 02 03 04 01 05 54 B2");
  // Direct also when the link would route.
  EXPECT_EQ(Frame(RequestId::InfraredSendCode, {{"ADDR", 2}, {"CODE", 5}}, kRouted1), "55 AA 0A 02 03 04 01 05 54 B2");
  EXPECT_EQ(Fields(RequestId::InfraredLearnOn, {{"ADDR", 1}}), "0A 01 03 00 01 FF");
  EXPECT_EQ(Fields(RequestId::InfraredLearnOff, {{"ADDR", 1}}), "0A 01 03 01 01 FF");
  EXPECT_EQ(Fields(RequestId::InfraredDeleteCode, {{"ADDR", 1}, {"CODE", 0}}), "0A 01 03 02 01 00");
  EXPECT_EQ(Fields(RequestId::InfraredDeleteCode, {{"ADDR", 1}, {"CODE", 249}}), "0A 01 03 02 01 F9");
  EXPECT_EQ(Fields(RequestId::InfraredDeleteAllCodes, {{"ADDR", 32}}), "0A 20 03 03 01 FF");
}

TEST(InputRequests, FunctionTableAndFillers) {
  ASSERT_EQ(InputFunctions().size(), 12u);
  EXPECT_EQ(InputFunctions()[11].item, "Scene");
  // Functions count from 1 on the command line and in the catalogue.
  Ints bind{{"ADDR", 1}, {"INPUT", 1}, {"--target", 2}, {"--output", 1}, {"--mode", 0}, {"--function", 1}, {"--param", 0}};
  EXPECT_EQ(Frame(RequestId::BindInput, bind), "55 AA 0F 01 00 01 00 00 02 01 02 00 00 54 BF");

  bind = {{"ADDR", 4}, {"INPUT", 32}, {"--target", 9}, {"--output", 8}, {"--mode", 1}, {"--function", 3}, {"--param", 17}};
  EXPECT_EQ(Fields(RequestId::BindInput, bind, kRouted1), "11 00 01 04 00 01 1F 01 02 03 09 07 11");
  for (int all : {3, 4, 8, 9, 10}) {
    bind["--function"] = all + 1;
    const auto& fn = InputFunctions()[static_cast<std::size_t>(all)];
    const std::string expected = "0F 04 00 01 1F 01 " +
                                 test::Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(fn.targetClass),
                                                                     static_cast<std::uint8_t>(fn.targetCommand)}) +
                                 " FF FF FF";
    EXPECT_EQ(Fields(RequestId::BindInput, bind), expected) << fn.item;
  }
  bind["--function"] = 12;  // Scene: class 0, command 4, address and output 255, parameter kept
  EXPECT_EQ(Fields(RequestId::BindInput, bind), "0F 04 00 01 1F 01 00 04 FF FF 11");
  bind["--function"] = 8;  // Stop Curtain
  EXPECT_EQ(Fields(RequestId::BindInput, bind), "0F 04 00 01 1F 01 01 03 09 07 11");
  // Left out, the options take their defaults: Button, "Turn on Light", module 1 output 1, parameter 0.
  EXPECT_EQ(Fields(RequestId::BindInput, {{"ADDR", 4}, {"INPUT", 2}}), "0F 04 00 01 01 00 02 01 01 00 00");

  EXPECT_EQ(Fields(RequestId::ClearInput, {{"ADDR", 4}, {"INPUT", 32}}), "0F 04 00 01 1F FF FF FF FF FF FF");

  // The function by its name as well as its place: the list's own name or a
  // command-line word; nothing else.
  const FieldSpec& function = Request(RequestId::BindInput).Field("--function");
  EXPECT_EQ(function.ValueOf("3"), 3);
  EXPECT_EQ(function.ValueOf("toggle-light"), 3);
  EXPECT_EQ(function.ValueOf("Toggle Light"), 3);
  EXPECT_EQ(function.ValueOf("stop-all-curtains"), 11);
  EXPECT_EQ(function.ValueOf("scene"), 12);
  EXPECT_FALSE(function.ValueOf("13"));
  EXPECT_FALSE(function.ValueOf("dim-light"));
  EXPECT_FALSE(function.ValueOf(""));
  ASSERT_EQ(function.valueNames.size(), 12u);
  EXPECT_EQ(function.valueNames[0], "turn-on-light");
  EXPECT_EQ(Request(RequestId::BindInput).Field("--mode").ValueOf("switch"), 1);

  // The parameter of "Scene" is a scene number; other functions take any byte.
  RequestValues scene;
  scene.ints = {{"ADDR", 4}, {"INPUT", 1}, {"--function", 12}, {"--param", 51}};
  EXPECT_EQ(CheckValues(Request(RequestId::BindInput), scene), "--param 51 is outside 0-50 for the function \"Scene\"");
  scene.ints["--param"] = 50;
  EXPECT_FALSE(CheckValues(Request(RequestId::BindInput), scene));
  scene.ints = {{"ADDR", 4}, {"INPUT", 1}, {"--function", 1}, {"--param", 255}};
  EXPECT_FALSE(CheckValues(Request(RequestId::BindInput), scene));
  EXPECT_EQ(Fields(RequestId::ClearInput, {{"ADDR", 4}, {"INPUT", 1}}, kRouted1), "11 00 01 04 00 01 00 FF FF FF FF FF FF");
}

TEST(SceneRequests, SetClearTest) {
  RequestValues two;
  two.channelItems = {1, 2};
  EXPECT_EQ(Frame(RequestId::SetScene, {{"ADDR", 1}, {"SCENE", 0}}, kDirect, two), "55 AA 0B 01 00 02 00 01 FF 57 A7");
  EXPECT_EQ(Frame(RequestId::SetScene, {{"ADDR", 1}, {"SCENE", 0}}, kRouted1, two),
            "55 AA 0D 00 01 01 00 02 00 01 FF 57 BA");
  RequestValues one;
  one.channelItems = {1};
  EXPECT_EQ(Fields(RequestId::SetScene, {{"ADDR", 5}, {"SCENE", 50}}, kDirect, one), "0A 05 00 02 32 01");
  RequestValues eight;
  eight.channelItems = {1, 2, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(Fields(RequestId::SetScene, {{"ADDR", 5}, {"SCENE", 50}}, kDirect, eight),
            "11 05 00 02 32 01 FF 00 00 00 00 00 01");
  EXPECT_EQ(Frame(RequestId::TestScene, {{"SCENE", 5}}), "55 AA 0A FF 00 04 FF 05 56 BA");
  EXPECT_EQ(Fields(RequestId::TestScene, {{"SCENE", 5}}, kRouted1), "0C 00 01 FF 00 04 FF 05");
  EXPECT_EQ(Frame(RequestId::ClearScene, {{"ADDR", 3}, {"SCENE", 7}}), "55 AA 09 03 00 03 07 54 BF");
  EXPECT_EQ(Fields(RequestId::ClearScene, {{"ADDR", 3}, {"SCENE", 7}}, kRouted1), "0B 00 01 03 00 03 07");
  EXPECT_EQ(ChannelCode(0), "0");
  EXPECT_EQ(ChannelCode(1), "1");
  EXPECT_EQ(ChannelCode(2), "X");
}

TEST(BusSwitchRequests, SetCarriesTheRecordInScreenOrder) {
  BusSwitchTexts t;
  t.subnet = 258;
  t.ip = {"192", "168", "14", "3"};
  t.port = "2001";
  t.mask = {"255", "255", "255", "0"};
  t.gateway = {"192", "168", "14", "1"};
  t.serverIp = {"192", "168", "14", "20"};
  t.serverPort = "2002";
  t.mac = {"00", "1a", "2B", "3C", "4D", "5E"};
  RequestValues values;
  values.record = RecordFromTexts(t);
  // Always routed to every bus switch, whatever the link's form and subnet.
  EXPECT_EQ(Fields(RequestId::BusSwitchSet, {}, {FrameForm::Direct, 7}, values),
            "26 FF FF FF 00 00 01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 C0 A8 0E 14 07 D2 "
            "00 1A 2B 3C 4D 5E");

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

TEST(BusSwitchRequests, FieldThatDoesNotConvertNamesItsText) {
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

TEST(BusSwitchRequests, ReadAndQueries) {
  EXPECT_EQ(Fields(RequestId::BusSwitchRead, {}, kDirect), "0A FF FF FF 00 05");
  EXPECT_EQ(Fields(RequestId::BusSwitchReadType, {}, {FrameForm::Direct, 258}), "0A 01 02 FF 00 06");
  EXPECT_EQ(Fields(RequestId::BusSwitchReadVersion, {}, kRouted1), "0A 00 01 FF 00 07");
  EXPECT_EQ(Fields(RequestId::BusSwitchRestore, {}, kRouted1), "0A 00 01 FF 00 0A");
}

TEST(RawFrames, GoOutAsGivenAndAreChecked) {
  RequestValues values;
  values.raw = test::FromHex("0A 01 02 01 00 FF");
  EXPECT_EQ(Frame(RequestId::RawFrame, {}, kDirect, values), "55 AA 0A 01 02 01 00 FF 57 A6");
  const RequestSpec& send = Request(RequestId::RawFrame);
  EXPECT_FALSE(CheckValues(send, values));
  values.raw = test::FromHex("0B 01 02 01 00 FF");
  EXPECT_EQ(CheckValues(send, values), "the Length byte 11 does not match the 10 bytes of the frame");
  values.raw = test::FromHex("07 01 02");
  EXPECT_TRUE(CheckValues(send, values));
  values.raw = Bytes(197, 0xC9);
  EXPECT_EQ(CheckValues(send, values), "a frame is at most 200 bytes long");
}

TEST(Catalogue, RangesAreTheWindowsFields) {
  // One source for what the window, the tool, plans and the simulator accept.
  EXPECT_EQ(Request(RequestId::LightSetOnTime).Field("SECONDS").max, 65001);
  EXPECT_EQ(Request(RequestId::CurtainSetTravelTime).Field("TENTHS").max, 601);
  EXPECT_EQ(Request(RequestId::ReadModuleType).Field("ADDR").min, 0);
  EXPECT_EQ(Request(RequestId::ReadModuleType).Field("ADDR").max, 33);
  EXPECT_EQ(Request(RequestId::LightOn).Field("ADDR").min, 1);
  EXPECT_EQ(Request(RequestId::LightOn).Field("ADDR").max, 32);
  EXPECT_EQ(Request(RequestId::CurtainOpen).Field("OUTPUT").max, 4);
  EXPECT_EQ(Request(RequestId::SetScene).Field("SCENE").max, 50);
  EXPECT_EQ(Request(RequestId::InfraredSendCode).Field("CODE").max, 249);

  RequestValues values;
  values.ints = {{"ADDR", 1}, {"OUTPUT", 1}, {"TENTHS", 602}};
  EXPECT_EQ(CheckValues(Request(RequestId::CurtainSetTravelTime), values), "TENTHS 602 is outside 0-601");
  values.ints["TENTHS"] = 601;
  EXPECT_FALSE(CheckValues(Request(RequestId::CurtainSetTravelTime), values));
  values.ints.erase("OUTPUT");
  EXPECT_EQ(CheckValues(Request(RequestId::CurtainSetTravelTime), values), "OUTPUT is missing");
  RequestValues scene;
  scene.ints = {{"ADDR", 1}, {"SCENE", 1}};
  EXPECT_TRUE(CheckValues(Request(RequestId::SetScene), scene)) << "a scene needs its channels";
  scene.channelItems = {0, 1, 2};
  EXPECT_FALSE(CheckValues(Request(RequestId::SetScene), scene));
}

TEST(Catalogue, EveryEntryIsWholeAndNamedOnTheWire) {
  std::set<std::vector<std::string_view>> words;
  for (const RequestSpec& spec : Requests()) {
    EXPECT_TRUE(words.insert(spec.words).second) << "words given twice: " << spec.words[0];
    EXPECT_EQ(&Request(spec.id), &spec);
    if (spec.id == RequestId::RawFrame) continue;
    EXPECT_EQ(CommandName(spec.cls, spec.command), spec.name) << spec.words[0];
    // Built from in-range values, every entry is a whole frame of its class
    // and command.
    RequestValues values;
    for (const FieldSpec& f : spec.fields) values.ints[std::string(f.name)] = f.max;
    values.channelItems = {1};
    for (const Addressing& link : {kDirect, kRouted1}) {
      TransmitBuffer b{};
      const FrameForm form = BuildRequest(spec, values, link, b);
      CompleteFrame(b.data());
      const int at = AddressOffset(form);
      EXPECT_EQ(b[at + 1], spec.cls) << spec.name;
      EXPECT_EQ(b[at + 2], spec.command) << spec.name;
      EXPECT_EQ(FrameChecksum(b.data(), b[2]) >> 8, b[b[2] - 2]);
    }
  }
  std::vector<std::string> readType{"bus-switch", "read-type"};
  ASSERT_NE(FindRequest(readType), nullptr);
  EXPECT_EQ(FindRequest(readType)->id, RequestId::BusSwitchReadType);
  EXPECT_EQ(FindRequest({"light"}), nullptr);
  EXPECT_EQ(CommandName(0x82, 1), "On") << "a reply names the request it answers";
  EXPECT_EQ(CommandName(4, 1), "");
}

TEST(StatusWords, OneTable) {
  EXPECT_STREQ(StatusWord(1), "OK!");
  EXPECT_STREQ(StatusWord(7), "Module address is occupied");
  EXPECT_STREQ(StatusWord(0), "Response error!");
  EXPECT_STREQ(StatusWord(8), "Response error!");
  EXPECT_EQ(StatusWords().size(), 7u);
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
