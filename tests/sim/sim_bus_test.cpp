// The simulated bus answers the console's own requests (built from the
// command catalogue) with replies that the console's decoder turns
// into the right fields, and keeps the modules' state.
#include <gtest/gtest.h>

#include <stdexcept>

#include "../support/catalogue_frames.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/scene_commands.h"
#include "replies/reply_decoder.h"
#include "sim/reply_shaper.h"
#include "sim/sim_bus.h"

namespace veltra {
namespace {

constexpr int kSubnet = 1;

// A frame written by hand, completed as the send path does.
template <class Build>
SimFrame Written(Build build) {
  TransmitBuffer buffer{};
  build(buffer);
  CompleteFrame(buffer.data());
  return SimFrame(buffer.begin(), buffer.begin() + buffer[2]);
}

struct LinkCase {
  SimLink link;
  FrameForm form;  // form of the requests
  const char* name;
};

class SimReplies : public ::testing::TestWithParam<LinkCase> {
 protected:
  Addressing Form() const { return {GetParam().form, kSubnet}; }
  // Replies come back routed over UDP, in the request's form on the line.
  FrameForm ReplyForm(FrameForm requestForm) const {
    return GetParam().link == SimLink::Udp ? FrameForm::Routed : requestForm;
  }

  std::vector<SimFrame> Send(const SimFrame& request) {
    return bus.Handle(request.data(), request.size(), GetParam().link).replies;
  }
  DecodedReply Decode(const SimFrame& reply, FrameForm form) const {
    return form == FrameForm::Routed ? DecodeRouted(reply.data(), reply.size(), false)
                                     : DecodeDirect(reply.data(), reply.size(), false);
  }
  // Exactly one reply, decoded as the console would.
  DecodedReply One(const SimFrame& request, FrameForm requestForm) {
    const auto replies = Send(request);
    EXPECT_EQ(replies.size(), 1u);
    if (replies.size() != 1) return {};
    DecodedReply decoded = Decode(replies[0], ReplyForm(requestForm));
    EXPECT_TRUE(decoded.logLine.has_value()) << "reply rejected by the decoder";
    return decoded;
  }
  DecodedReply One(const SimFrame& request) { return One(request, GetParam().form); }

  static bool Says(const DecodedReply& reply, const std::string& word) {
    const std::string line = reply.logLine.value_or("");
    return line.size() >= word.size() && line.compare(line.size() - word.size(), word.size(), word) == 0;
  }

  // A request of "Subnet Module Settings" for "Module Addr. :" = address.
  SimFrame Module(RequestId id, int address) {
    const RequestSpec& spec = Request(id);
    std::map<std::string, int> ints;
    for (const FieldSpec& f : spec.fields) ints[std::string(f.name)] = address;
    return test::RequestFrame(id, ints, Form());
  }
  SimFrame Output(RequestId id, int module, int output = 1, int time = 0) {
    return test::RequestFrame(id, test::OutputFields(id, module, output, time), Form());
  }
  SimFrame Scene(RequestId id, int module, int scene, std::vector<int> channels = {}) {
    RequestValues values;
    values.channelItems = std::move(channels);
    return test::RequestFrame(id, {{"ADDR", module}, {"SCENE", scene}}, Form(), values);
  }
  std::vector<bool> Lights(int module) {
    const DecodedReply reply = One(Output(RequestId::ReadStatus, module));
    EXPECT_EQ(reply.effect, ReplyEffect::StatusBytes);
    return reply.statusBits;
  }

  SimBus bus;
};

TEST_P(SimReplies, ProgrammingModuleTakesAnAddressAndReadsItBack) {
  DecodedReply reply = One(Module(RequestId::ReadAddress, 1));
  EXPECT_EQ(reply.effect, ReplyEffect::ModuleAddress);
  EXPECT_EQ(reply.moduleAddress, 0);  // no address yet

  reply = One(Module(RequestId::SetAddress, 6));
  EXPECT_TRUE(Says(reply, "OK!"));
  reply = One(Module(RequestId::ReadAddress, 1));
  EXPECT_EQ(reply.effect, ReplyEffect::ModuleAddress);
  EXPECT_EQ(reply.moduleAddress, 6);
  ASSERT_TRUE(bus.Module(6).has_value());
  EXPECT_EQ(bus.Module(6)->kind, ModuleKind::Light);

  // The newly addressed module answers at its address.
  EXPECT_EQ(Lights(6), std::vector<bool>(8, false));
}

TEST_P(SimReplies, SetAddressRefusesAddressesOutOfRangeOrTaken) {
  EXPECT_TRUE(Says(One(Module(RequestId::SetAddress, 33)), "Module address is out of range!"));
  EXPECT_TRUE(Says(One(Module(RequestId::SetAddress, 0)), "Module address is out of range!"));
  EXPECT_TRUE(Says(One(Module(RequestId::SetAddress, 2)), "Module address is occupied"));
  EXPECT_EQ(One(Module(RequestId::ReadAddress, 1)).moduleAddress, 0);
}

TEST_P(SimReplies, TypeAndVersionPerKind) {
  DecodedReply reply = One(Module(RequestId::ReadModuleType, 1));
  EXPECT_EQ(reply.effect, ReplyEffect::ModuleType);
  EXPECT_EQ(reply.text, "0208");
  EXPECT_FALSE(reply.toBusSwitchFields);
  EXPECT_EQ(One(Module(RequestId::ReadModuleType, 3)).text, "0104");
  EXPECT_EQ(One(Module(RequestId::ReadModuleType, 4)).text, "0301");
  EXPECT_EQ(One(Module(RequestId::ReadModuleType, 5)).text, "0408");
  // The codes are the catalogue's knowledge of the types.
  for (const SimModule& m : bus.Modules()) {
    if (!m.address) continue;
    const auto type = ParseModuleType(One(Module(RequestId::ReadModuleType, m.address)).text);
    ASSERT_TRUE(type) << m.address;
    EXPECT_EQ(type->kind, m.kind);
    EXPECT_EQ(type->channels, m.kind == ModuleKind::Infrared ? 0 : m.channels);
  }

  reply = One(Module(RequestId::ReadVersion, 3));
  EXPECT_EQ(reply.effect, ReplyEffect::Version);
  EXPECT_EQ(reply.text, "Curtain-4 V1.0");
  EXPECT_FALSE(reply.toBusSwitchFields);
}

TEST_P(SimReplies, LightOutputsFollowOnOffToggleAndAllCommands) {
  EXPECT_TRUE(Says(One(Output(RequestId::LightOn, 1, 1)), "OK!"));
  One(Output(RequestId::LightOn, 1, 3));
  One(Output(RequestId::LightOn, 1, 8));
  One(Output(RequestId::LightOff, 1, 8));
  EXPECT_EQ(Lights(1), (std::vector<bool>{true, false, true, false, false, false, false, false}));

  One(Output(RequestId::LightToggle, 1, 3));
  One(Output(RequestId::LightToggle, 1, 2));
  EXPECT_EQ(Lights(1), (std::vector<bool>{true, true, false, false, false, false, false, false}));
  EXPECT_EQ(Lights(2), std::vector<bool>(8, false));  // the other light module is untouched

  // All On goes to address 255: every light module switches, the bus answers once.
  const auto replies = Send(Output(RequestId::LightAllOn, 1));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_TRUE(Says(Decode(replies[0], ReplyForm(GetParam().form)), "OK!"));
  EXPECT_EQ(Lights(1), std::vector<bool>(8, true));
  EXPECT_EQ(Lights(2), std::vector<bool>(8, true));
  One(Output(RequestId::LightAllOff, 1));
  EXPECT_EQ(Lights(1), std::vector<bool>(8, false));
  EXPECT_EQ(Lights(2), std::vector<bool>(8, false));
}

TEST_P(SimReplies, CurtainOutputsFollowOpenCloseStop) {
  auto curtains = [&] {
    const DecodedReply reply = One(Output(RequestId::ReadStatus, 3));
    EXPECT_EQ(reply.effect, ReplyEffect::StatusBytes);
    return reply.statusBits;
  };
  One(Output(RequestId::CurtainOpen, 3, 2));
  EXPECT_EQ(curtains(), (std::vector<bool>{false, true, false, false}));
  One(Output(RequestId::CurtainStop, 3, 2));
  EXPECT_EQ(curtains(), (std::vector<bool>{false, true, false, false}));
  One(Output(RequestId::CurtainOpenAll, 3));
  EXPECT_EQ(curtains(), std::vector<bool>(4, true));
  One(Output(RequestId::CurtainClose, 3, 4));
  One(Output(RequestId::CurtainStopAll, 3));
  EXPECT_EQ(curtains(), (std::vector<bool>{true, true, true, false}));
  One(Output(RequestId::CurtainCloseAll, 3));
  EXPECT_EQ(curtains(), std::vector<bool>(4, false));
}

TEST_P(SimReplies, TimesAreStoredWithinTheirRanges) {
  EXPECT_TRUE(Says(One(Output(RequestId::LightSetOnTime, 1, 2, 300)), "OK!"));
  EXPECT_EQ(bus.Module(1)->times[1], 300);
  // The modules take what the console's fields allow, and no more.
  EXPECT_TRUE(Says(One(Output(RequestId::LightSetOnTime, 1, 2, 65001)), "OK!"));
  EXPECT_EQ(bus.Module(1)->times[1], 65001);
  EXPECT_TRUE(Says(One(Output(RequestId::LightSetOnTime, 1, 2, 65002)), "Parameter error!"));
  EXPECT_EQ(bus.Module(1)->times[1], 65001);

  EXPECT_TRUE(Says(One(Output(RequestId::CurtainSetTravelTime, 3, 4, 125)), "OK!"));
  EXPECT_EQ(bus.Module(3)->times[3], 12500);
  EXPECT_TRUE(Says(One(Output(RequestId::CurtainSetTravelTime, 3, 4, 601)), "OK!"));
  EXPECT_EQ(bus.Module(3)->times[3], 60100);
  EXPECT_TRUE(Says(One(Output(RequestId::CurtainSetTravelTime, 3, 4, 602)), "Parameter error!"));
  EXPECT_EQ(bus.Module(3)->times[3], 60100);
}

TEST_P(SimReplies, SceneSetThenTestChangesOutputsUntilCleared) {
  auto set = Scene(RequestId::SetScene, 1, 7, {1, 0, 2, 1});  // ON, OFF, No Change, ON
  auto test = test::RequestFrame(RequestId::TestScene, {{"SCENE", 7}}, Form());
  auto clear = Scene(RequestId::ClearScene, 1, 7);

  DecodedReply reply = One(set);
  EXPECT_EQ(reply.effect, ReplyEffect::SaveScene);
  EXPECT_EQ(Lights(1), std::vector<bool>(8, false));  // stored, not yet shown

  One(Output(RequestId::LightOn, 1, 2));
  One(Output(RequestId::LightOn, 1, 3));
  EXPECT_TRUE(Says(One(test), "OK!"));
  EXPECT_EQ(Lights(1), (std::vector<bool>{true, false, true, true, false, false, false, false}));

  reply = One(clear);
  EXPECT_EQ(reply.effect, ReplyEffect::DeleteModuleScenes);
  One(Output(RequestId::LightAllOff, 1));
  One(test);
  EXPECT_EQ(Lights(1), std::vector<bool>(8, false));

  auto tooHigh = Scene(RequestId::SetScene, 1, 51, {1, 0});
  reply = One(tooHigh);
  EXPECT_TRUE(Says(reply, "Parameter error!"));
  EXPECT_EQ(reply.effect, ReplyEffect::None);
}

TEST_P(SimReplies, RestoreResetsTheModule) {
  One(Output(RequestId::LightOn, 2, 5));
  One(Output(RequestId::LightSetOnTime, 2, 5, 90));
  One(Scene(RequestId::SetScene, 2, 1, std::vector<int>(8, 1)));
  ASSERT_EQ(bus.Module(2)->scenes.size(), 1u);

  EXPECT_TRUE(Says(One(Module(RequestId::Restore, 2)), "OK!"));
  EXPECT_EQ(Lights(2), std::vector<bool>(8, false));
  EXPECT_TRUE(bus.Module(2)->scenes.empty());
  EXPECT_EQ(bus.Module(2)->times[4], 0);
  EXPECT_EQ(bus.Module(2)->address, 2);
}

TEST_P(SimReplies, WrongRequestsGetTheirStatus) {
  EXPECT_TRUE(Says(One(Output(RequestId::LightOn, 1, 9)), "Parameter error!"));
  EXPECT_TRUE(Says(One(Output(RequestId::CurtainOpen, 3, 5)), "Parameter error!"));
  // Commands the module does not know.
  EXPECT_TRUE(Says(One(Output(RequestId::LightOn, 3)), "Command error!"));
  EXPECT_TRUE(Says(One(Output(RequestId::ReadStatus, 4)), "Command error!"));
  auto unknown = Written([&](TransmitBuffer& b) { WriteRequest(b, Form(), 1, ClassSystem, 11, {}); });
  EXPECT_TRUE(Says(One(unknown), "Command error!"));
  auto lightSeven = Written([&](TransmitBuffer& b) { WriteRequest(b, Form(), 1, ClassLight, 6, {0, 255}); });
  EXPECT_TRUE(Says(One(lightSeven), "Command error!"));
}

TEST_P(SimReplies, AbsentModulesDoNotAnswer) {
  EXPECT_TRUE(Send(Output(RequestId::ReadStatus, 9)).empty());
  EXPECT_TRUE(Send(Output(RequestId::LightOn, 20)).empty());
  EXPECT_TRUE(Send(Module(RequestId::TestModule, 0)).empty());
}

// A module taken off the bus answers nothing, also to broadcasts, and
// hears nothing; back on the bus it has the state it had.
TEST_P(SimReplies, ModulesOffTheBusHearAndAnswerNothingUntilBack) {
  One(Output(RequestId::LightOn, 2, 4));
  EXPECT_FALSE(bus.SetOffBus(9, true));
  ASSERT_TRUE(bus.SetOffBus(2, true));
  EXPECT_TRUE(Send(Output(RequestId::ReadStatus, 2)).empty());
  EXPECT_TRUE(Send(Output(RequestId::LightOff, 2, 4)).empty());
  // All Off still reaches module 1, not the one off the bus.
  One(Output(RequestId::LightOn, 1, 1));
  ASSERT_EQ(Send(Output(RequestId::LightAllOff, 1)).size(), 1u);
  EXPECT_EQ(Lights(1), std::vector<bool>(8, false));

  ASSERT_TRUE(bus.SetOffBus(2, false));
  EXPECT_EQ(Lights(2), (std::vector<bool>{false, false, false, true, false, false, false, false}));
}

TEST_P(SimReplies, InputBindingsAreStoredAndCleared) {
  std::map<std::string, int> bind{{"ADDR", 5},   {"INPUT", 3},  {"--target", 2}, {"--output", 4},
                                  {"--mode", 1}, {"--function", 3 /* "Toggle Light" */}, {"--param", 9}};
  EXPECT_TRUE(Says(One(test::RequestFrame(RequestId::BindInput, bind, Form())), "OK!"));
  const auto bindings = bus.Module(5)->bindings;
  ASSERT_EQ(bindings.count(2), 1u);
  EXPECT_EQ(bindings.at(2), (std::array<std::uint8_t, 6>{1, ClassLight, 3, 2, 3, 9}));

  EXPECT_TRUE(Says(One(test::RequestFrame(RequestId::ClearInput, {{"ADDR", 5}, {"INPUT", 3}}, Form())), "OK!"));
  EXPECT_TRUE(bus.Module(5)->bindings.empty());

  bind["INPUT"] = 9;  // the input module has 8 inputs
  EXPECT_TRUE(Says(One(test::RequestFrame(RequestId::BindInput, bind, Form())), "Parameter error!"));
  // "Scene" takes a scene number; the frame is built as given, past the
  // catalogue's check.
  bind["INPUT"] = 1;
  bind["--function"] = 12;
  bind["--param"] = 51;
  EXPECT_TRUE(Says(One(test::RequestFrame(RequestId::BindInput, bind, Form())), "Parameter error!"));
  bind["--param"] = 50;
  EXPECT_TRUE(Says(One(test::RequestFrame(RequestId::BindInput, bind, Form())), "OK!"));
  bind["ADDR"] = 1;  // a light module has no inputs
  EXPECT_TRUE(Says(One(test::RequestFrame(RequestId::BindInput, bind, Form())), "Command error!"));
}

INSTANTIATE_TEST_SUITE_P(Links, SimReplies,
                         ::testing::Values(LinkCase{SimLink::Serial, FrameForm::Direct, "SerialDirect"},
                                           LinkCase{SimLink::Serial, FrameForm::Routed, "SerialRouted"},
                                           LinkCase{SimLink::Udp, FrameForm::Routed, "Udp"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Infrared requests are always direct, over UDP too.
class SimInfrared : public SimReplies {
 protected:
  SimFrame Ir(RequestId id, int code = 0) {
    std::map<std::string, int> ints{{"ADDR", 4}};
    if (Request(id).HasField("CODE")) ints["CODE"] = code;
    return test::RequestFrame(id, ints, Form());
  }
  bool Ok(RequestId command, int code = 0) {
    return Says(One(Ir(command, code), FrameForm::Direct), "OK!");
  }
};

TEST_P(SimInfrared, CodesAreLearnedOnlyWhileLearning) {
  EXPECT_TRUE(Says(One(Ir(RequestId::InfraredSendCode, 5), FrameForm::Direct), "Parameter error!"));
  EXPECT_TRUE(bus.Module(4)->irCodes.empty());

  EXPECT_TRUE(Ok(RequestId::InfraredLearnOn));
  EXPECT_TRUE(Ok(RequestId::InfraredSendCode, 5));  // learned, not sent
  EXPECT_TRUE(Ok(RequestId::InfraredSendCode, 249));
  EXPECT_TRUE(Ok(RequestId::InfraredLearnOff));
  EXPECT_EQ(bus.Module(4)->irCodes, (std::set<int>{5, 249}));
  EXPECT_TRUE(bus.Module(4)->irSent.empty());

  EXPECT_TRUE(Ok(RequestId::InfraredSendCode, 5));
  EXPECT_EQ(bus.Module(4)->irSent, std::vector<int>{5});
  EXPECT_TRUE(Ok(RequestId::InfraredDeleteCode, 5));
  EXPECT_TRUE(Says(One(Ir(RequestId::InfraredSendCode, 5), FrameForm::Direct), "Parameter error!"));
  EXPECT_TRUE(Ok(RequestId::InfraredDeleteAllCodes));
  EXPECT_TRUE(bus.Module(4)->irCodes.empty());
  EXPECT_TRUE(Says(One(Ir(RequestId::InfraredSendCode, 250), FrameForm::Direct), "Parameter error!"));
}

INSTANTIATE_TEST_SUITE_P(Links, SimInfrared,
                         ::testing::Values(LinkCase{SimLink::Serial, FrameForm::Direct, "Serial"},
                                           LinkCase{SimLink::Udp, FrameForm::Direct, "Udp"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The bus switch is reached with routed frames, over UDP or over the line
// in monitor mode.
class SimBusSwitch : public SimReplies {
 protected:
  DecodedReply Read() {
    return One(test::RequestFrame(RequestId::BusSwitchRead, {}, Form()), FrameForm::Routed);
  }
  SimFrame Query(RequestId id, int subnet = kSubnet) {
    return test::RequestFrame(id, {}, {FrameForm::Routed, subnet});
  }
};

TEST_P(SimBusSwitch, KeepsItsConfigurationRecord) {
  bus.SetServedPort(2001);
  DecodedReply reply = Read();
  ASSERT_EQ(reply.effect, ReplyEffect::BusSwitchConfig);
  BusSwitchTexts texts = TextsFromRecord(reply.busSwitchRecord);
  EXPECT_EQ(texts.subnet, 1);
  EXPECT_EQ(texts.ip, (std::array<std::string, 4>{"127", "0", "0", "1"}));
  EXPECT_EQ(texts.port, "2001");

  BusSwitchTexts wanted;
  wanted.subnet = 258;
  wanted.ip = {"192", "168", "14", "3"};
  wanted.port = "2001";
  wanted.mask = {"255", "255", "255", "0"};
  wanted.gateway = {"192", "168", "14", "1"};
  wanted.serverIp = {"192", "168", "14", "20"};
  wanted.serverPort = "2002";
  wanted.mac = {"00", "1A", "2B", "3C", "4D", "5E"};
  const BusSwitchRecord record = RecordFromTexts(wanted);
  RequestValues set;
  set.record = record;
  reply = One(test::RequestFrame(RequestId::BusSwitchSet, {}, Form(), set), FrameForm::Routed);
  EXPECT_TRUE(Says(reply, "OK!"));
  reply = Read();
  ASSERT_EQ(reply.effect, ReplyEffect::BusSwitchConfig);
  EXPECT_EQ(reply.busSwitchRecord, record);
  EXPECT_EQ(bus.Subnet(), 258);

  // The modules are now on subnet 258.
  auto status = [&](int subnet) {
    return test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 1}}, {FrameForm::Routed, subnet});
  };
  EXPECT_TRUE(Send(status(1)).empty());
  EXPECT_EQ(One(status(258), FrameForm::Routed).effect, ReplyEffect::StatusBytes);

  EXPECT_TRUE(Says(One(Query(RequestId::BusSwitchRestore, 258), FrameForm::Routed), "OK!"));
  reply = Read();
  EXPECT_EQ(TextsFromRecord(reply.busSwitchRecord).port, "2001");
  EXPECT_EQ(bus.Subnet(), 1);
}

TEST_P(SimBusSwitch, AnswersTypeAndVersionForItself) {
  DecodedReply reply = One(Query(RequestId::BusSwitchReadType), FrameForm::Routed);
  EXPECT_EQ(reply.effect, ReplyEffect::ModuleType);
  EXPECT_TRUE(reply.toBusSwitchFields);
  EXPECT_EQ(reply.text, "1001");
  reply = One(Query(RequestId::BusSwitchReadVersion), FrameForm::Routed);
  EXPECT_EQ(reply.effect, ReplyEffect::Version);
  EXPECT_TRUE(reply.toBusSwitchFields);
  EXPECT_EQ(reply.text, kBusSwitchVersion);
}

TEST_P(SimBusSwitch, ShortSetIsAParameterError) {
  auto shortSet = Written([](TransmitBuffer& b) {
    WriteRequest(b, {FrameForm::Routed, 0xFFFF}, 255, ClassSystem, 0, {0, 9, 127, 0, 0, 1});
  });
  EXPECT_TRUE(Says(One(shortSet, FrameForm::Routed), "Parameter error!"));
  EXPECT_EQ(bus.Subnet(), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, SimBusSwitch,
                         ::testing::Values(LinkCase{SimLink::Serial, FrameForm::Routed, "Serial"},
                                           LinkCase{SimLink::Udp, FrameForm::Routed, "Udp"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimFrames, FramesThatAreNotForTheBusGetNoReply) {
  SimBus bus;
  auto send = [&](const SimFrame& f, SimLink link) { return bus.Handle(f.data(), f.size(), link); };
  auto on = [](Addressing a) {
    return test::RequestFrame(RequestId::LightOn, {{"ADDR", 1}, {"OUTPUT", 1}}, a);
  };
  // Another subnet over UDP.
  SimAnswer answer = send(on({FrameForm::Routed, 2}), SimLink::Udp);
  EXPECT_TRUE(answer.replies.empty());
  EXPECT_FALSE(answer.request.has_value());
  // A direct light request over UDP is not something the console sends.
  EXPECT_TRUE(send(on({FrameForm::Direct, 0}), SimLink::Udp).replies.empty());
  // Broken checksum.
  SimFrame broken = on({FrameForm::Direct, 0});
  broken.back() ^= 1;
  EXPECT_TRUE(send(broken, SimLink::Serial).replies.empty());
  // A reply heard back on the line (echo) is not answered.
  const SimFrame echo = BuildReplyFrame(FrameForm::Direct, 0, 1, 0x82, 1, 1, {});
  EXPECT_TRUE(send(echo, SimLink::Serial).replies.empty());
  EXPECT_EQ(bus.Module(1)->outputs[0], 0);
}

TEST(SimFrames, RepliesAreTheLayoutsOnTheWire) {
  SimBus bus;
  auto on = [](Addressing a) {
    return test::RequestFrame(RequestId::LightOn, {{"ADDR", 1}, {"OUTPUT", 1}}, a);
  };
  SimFrame request = on({FrameForm::Routed, 1});
  EXPECT_EQ(bus.Handle(request.data(), request.size(), SimLink::Udp).replies.at(0),
            (SimFrame{0x55, 0xAA, 0x0B, 0x00, 0x01, 0x01, 0x82, 0x01, 0x01, 0x54, 0x3A}));
  request = on({FrameForm::Direct, 0});
  EXPECT_EQ(bus.Handle(request.data(), request.size(), SimLink::Serial).replies.at(0),
            (SimFrame{0x55, 0xAA, 0x09, 0x01, 0x82, 0x01, 0x01, 0x54, 0x27}));
  request = test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 1}}, {FrameForm::Direct, 0});
  EXPECT_EQ(bus.Handle(request.data(), request.size(), SimLink::Serial).replies.at(0),
            (SimFrame{0x55, 0xAA, 0x12, 0x01, 0x80, 0x08, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x00, 0x54, 0x37}));
}

TEST(SimPopulation, ParsesKindsChannelsAndProgrammingMode) {
  const auto modules = ParsePopulation("light:4@2,curtain@3,ir@4,input:16@5,light@-,curtain@7*");
  ASSERT_EQ(modules.size(), 6u);
  EXPECT_EQ(modules[0].kind, ModuleKind::Light);
  EXPECT_EQ(modules[0].channels, 4);
  EXPECT_EQ(modules[0].address, 2);
  EXPECT_EQ(modules[1].channels, 4);
  EXPECT_EQ(modules[2].kind, ModuleKind::Infrared);
  EXPECT_EQ(modules[3].channels, 16);
  EXPECT_EQ(modules[4].address, 0);
  EXPECT_TRUE(modules[4].programming);
  EXPECT_EQ(modules[5].address, 7);
  EXPECT_TRUE(modules[5].programming);
  EXPECT_EQ(ParsePopulation("default").size(), DefaultPopulation().size());

  for (const char* bad : {"lamp@1", "light@33", "light@0", "light@1,curtain@1", "light:9@1", "light",
                          "light@x", "input:0@5"})
    EXPECT_THROW(ParsePopulation(bad), std::invalid_argument) << bad;
}

TEST(SimPopulation, ReadStatusReportsTheModulesOwnOutputCount) {
  SimBus bus(ParsePopulation("light:3@1"));
  const SimFrame request = test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 1}}, {FrameForm::Direct, 0});
  const auto replies = bus.Handle(request.data(), request.size(), SimLink::Serial).replies;
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(DecodeDirect(replies[0].data(), replies[0].size(), false).statusBits.size(), 3u);
}

TEST(SimFaultsTest, GarbageIsNeverTakenForAFrame) {
  const SimFrame routed = BuildReplyFrame(FrameForm::Routed, 1, 1, 0x80, 8, 1, {1, 1, 0, 1});
  const SimFrame direct = BuildReplyFrame(FrameForm::Direct, 0, 1, 0x80, 5, 1, {3});
  for (int kind = 0; kind < 4; ++kind) {
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
      const SimFrame g1 = MakeGarbage(routed, static_cast<GarbageKind>(kind), seed);
      const SimFrame g2 = MakeGarbage(direct, static_cast<GarbageKind>(kind), seed);
      EXPECT_FALSE(g1.empty());
      EXPECT_FALSE(DecodeRouted(g1.data(), g1.size(), false).logLine.has_value()) << kind;
      EXPECT_FALSE(DecodeDirect(g2.data(), g2.size(), false).logLine.has_value()) << kind;
    }
  }
}

TEST(SimFaultsTest, ShaperDropsAndGarblesEveryNthReply) {
  const SimFrame reply = BuildReplyFrame(FrameForm::Routed, 1, 1, 0x82, 1, 1, {});
  ReplyShaper shaper({0, 3, 2});
  std::vector<char> fates;
  for (int i = 1; i <= 6; ++i) {
    const auto outcome = shaper.Shape(reply);
    fates.push_back(!outcome.bytes ? 'd' : outcome.garbage ? 'g' : 's');
    if (outcome.bytes && !outcome.garbage) {
      EXPECT_EQ(*outcome.bytes, reply);
    }
  }
  EXPECT_EQ(fates, (std::vector<char>{'s', 'g', 'd', 'g', 's', 'd'}));
}

}  // namespace
}  // namespace veltra

namespace veltra {
namespace {

TEST(SimModuleFaults, AModuleThatIgnoresScenesConfirmsThemAndChangesNothing) {
  std::vector<ModuleSetup> population = ParsePopulation("light@1,light@2");
  ApplyModuleFault(population, "1:ignore-scenes");
  ApplyModuleFault(population, "2:ignore-scene=4");
  SimBus bus(population);
  auto ask = [&bus](RequestId id, std::map<std::string, int> ints, std::vector<int> channels = {}) {
    RequestValues v;
    v.channelItems = std::move(channels);
    const Bytes frame = test::RequestFrame(id, ints, {FrameForm::Routed, 1}, v);
    const SimAnswer answer = bus.Handle(frame.data(), frame.size(), SimLink::Udp);
    return answer.replies.empty() ? -1 : answer.replies.front()[AddressOffset(FrameForm::Routed) + 3];
  };
  for (int address : {1, 2})
    for (int scene : {3, 4}) ASSERT_EQ(ask(RequestId::SetScene, {{"ADDR", address}, {"SCENE", scene}}, {1, 1}), kStatusOk);
  EXPECT_EQ(ask(RequestId::TestScene, {{"SCENE", 3}}), kStatusOk);
  EXPECT_EQ(bus.Module(1)->outputs[0], 0) << "module 1 ignores every scene";
  EXPECT_EQ(bus.Module(2)->outputs[0], 1) << "module 2 takes scene 3";
  ASSERT_EQ(ask(RequestId::LightAllOff, {}), kStatusOk);
  EXPECT_EQ(ask(RequestId::TestScene, {{"SCENE", 4}}), kStatusOk);
  EXPECT_EQ(bus.Module(2)->outputs[0], 0) << "but not scene 4";

  for (const char* bad : {"3:ignore-scenes", "1:blink", "1", "x:ignore-scenes", "1:ignore-scene=51"})
    EXPECT_THROW(ApplyModuleFault(population, bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace veltra
