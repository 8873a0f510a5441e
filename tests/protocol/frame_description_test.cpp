// The frame describer against the command catalogue: every request the
// console builds is named as the catalogue names it, with its address,
// subnet and values read back as the window shows them; replies with their
// status words and results; and what is not a frame, or a broken one.
#include <gtest/gtest.h>

#include "../support/bytes.h"
#include "../support/catalogue_frames.h"
#include "protocol/command_numbers.h"
#include "protocol/frame_description.h"
#include "protocol/scene_commands.h"
#include "protocol/status_words.h"

namespace veltra {
namespace {
namespace describe_test {

constexpr Addressing kDirect{FrameForm::Direct, 0};
constexpr Addressing kRouted{FrameForm::Routed, 7};

// A complete reply frame.
Bytes ReplyFrame(FrameForm form, int address, int cls, int command, int status, const Bytes& params = {}) {
  Bytes f{kHeader0, kHeader1, 0};
  if (form == FrameForm::Routed) f.insert(f.end(), {0x00, 0x07});
  f.insert(f.end(), {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(cls),
                     static_cast<std::uint8_t>(command), static_cast<std::uint8_t>(status)});
  f.insert(f.end(), params.begin(), params.end());
  f.insert(f.end(), {0, 0});
  f[2] = static_cast<std::uint8_t>(f.size());
  CompleteFrame(f.data());
  return f;
}

// Values that every field of every request accepts.
RequestValues SampleValues(const RequestSpec& spec) {
  RequestValues v;
  for (const FieldSpec& f : spec.fields) v.ints[std::string(f.name)] = f.defaultValue.value_or(std::max(f.min, 3));
  if (spec.extra == ExtraValues::Channels) v.channelItems = {1, 0, kNoChangeItem};
  if (spec.extra == ExtraValues::RawFrame) v.raw = {0x08, 0x03, 0x00, 0x06};
  for (std::size_t i = 0; i < v.record.size(); ++i) v.record[i] = static_cast<std::uint8_t>(i + 1);
  return v;
}

TEST(FrameDescription, EveryCatalogueRequestIsNamedAsTheCatalogueNamesIt) {
  for (const RequestSpec& spec : Requests()) {
    if (spec.id == RequestId::RawFrame) continue;
    for (const Addressing& link : {kDirect, kRouted}) {
      const RequestValues values = SampleValues(spec);
      const Bytes frame = test::RequestFrame(spec.id, {}, link, values);
      const FrameForm form = spec.FormOn(link.form);
      const FrameDescription d = DescribeFrame(frame, form);
      SCOPED_TRACE(std::string(spec.name) + (form == FrameForm::Routed ? " routed" : " direct"));
      ASSERT_TRUE(d.isFrame);
      EXPECT_TRUE(d.checksumOk);
      EXPECT_FALSE(d.reply);
      EXPECT_EQ(d.name, spec.name);
      EXPECT_EQ(d.CommandText(), spec.name);
      EXPECT_EQ(d.cls, spec.cls);
      EXPECT_EQ(d.command, spec.command);
      EXPECT_EQ(d.address, spec.layout(WithDefaults(spec, values)).address);
      EXPECT_EQ(d.form, form);
      if (form == FrameForm::Routed) {
        EXPECT_EQ(d.subnet, spec.target == Target::EveryBusSwitch ? 0xFFFF : link.subnet);
      } else {
        EXPECT_FALSE(d.subnet);
      }
      EXPECT_EQ(d.StatusText(), "");
    }
  }
}

TEST(FrameDescription, RequestValuesReadBackAsTheWindowCountsThem) {
  struct Row {
    RequestId id;
    std::map<std::string, int> ints;
    std::string details;
  };
  const Row rows[] = {
      {RequestId::LightOn, {{"ADDR", 2}, {"OUTPUT", 3}}, "Output 3"},
      {RequestId::LightAllOff, {}, "Output every one"},
      {RequestId::LightSetOnTime, {{"ADDR", 1}, {"OUTPUT", 8}, {"SECONDS", 65001}}, "Output 8, turn-on time 65001 s"},
      {RequestId::CurtainSetTravelTime, {{"ADDR", 3}, {"OUTPUT", 2}, {"TENTHS", 125}},
       "Output 2, travel time 125 tenths (12.5 s)"},
      {RequestId::CurtainStop, {{"ADDR", 3}, {"OUTPUT", 4}}, "Output 4"},
      {RequestId::SetAddress, {{"NEW", 9}}, "new address 9"},
      {RequestId::ClearScene, {{"ADDR", 1}, {"SCENE", 50}}, "Scene 50"},
      {RequestId::TestScene, {{"SCENE", 4}}, "Scene 4"},
      {RequestId::InfraredSendCode, {{"ADDR", 4}, {"CODE", 249}}, "Code 249"},
      {RequestId::InfraredLearnOn, {{"ADDR", 4}}, ""},
      {RequestId::ClearInput, {{"ADDR", 5}, {"INPUT", 32}}, "Input 32, binding cleared"},
      {RequestId::BindInput,
       {{"ADDR", 5}, {"INPUT", 3}, {"--mode", 1}, {"--function", 1}, {"--target", 2}, {"--output", 6}, {"--param", 0}},
       "Input 3, Switch, target Light On, address 2, output 6, parameter 0"},
      {RequestId::ReadStatus, {{"ADDR", 1}}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Request(row.id).name);
    const Bytes frame = test::RequestFrame(row.id, row.ints, kRouted);
    EXPECT_EQ(DescribeFrame(frame, Request(row.id).FormOn(FrameForm::Routed)).DetailsText(), row.details);
  }

  RequestValues scene;
  scene.channelItems = {1, 0, kNoChangeItem};
  const Bytes set = test::RequestFrame(RequestId::SetScene, {{"ADDR", 1}, {"SCENE", 12}}, kDirect, scene);
  EXPECT_EQ(DescribeFrame(set, FrameForm::Direct).DetailsText(), "Scene 12, CH1 ON, CH2 OFF, CH3 No Change");

  RequestValues record;
  record.record = {0, 1, 192, 168, 14, 3, 0x07, 0xD1, 255, 255, 255, 0, 192, 168, 14, 1,
                   192, 168, 14, 10, 0x07, 0xD2, 0x02, 0, 0, 0, 0, 0x01};
  const Bytes busSwitch = test::RequestFrame(RequestId::BusSwitchSet, {}, kDirect, record);
  EXPECT_EQ(DescribeFrame(busSwitch, FrameForm::Routed).DetailsText(),
            "subnet ID 1, IP 192.168.14.3, port 2001, mask 255.255.255.0, gateway 192.168.14.1, "
            "server 192.168.14.10, server port 2002, MAC 02:00:00:00:00:01");
}

TEST(FrameDescription, RepliesWithTheirStatusWordsAndResults) {
  namespace sys = system_command;
  const FrameDescription status =
      DescribeFrame(ReplyFrame(FrameForm::Routed, 1, 0x80, sys::ReadStatus, 1, {1, 1, 0, 1}), FrameForm::Routed);
  EXPECT_TRUE(status.reply);
  EXPECT_EQ(status.name, "ReadStatus");
  EXPECT_EQ(status.subnet, 7);
  EXPECT_EQ(status.StatusText(), "OK!");
  EXPECT_EQ(status.DetailsText(), "Output 1 on, Output 2 off, Output 3 on");

  const FrameDescription type =
      DescribeFrame(ReplyFrame(FrameForm::Direct, 3, 0x80, sys::ReadModuleType, 1, {0x02, 0x08}), FrameForm::Direct);
  EXPECT_EQ(type.DetailsText(), "module type 0208");
  const FrameDescription version = DescribeFrame(
      ReplyFrame(FrameForm::Direct, 3, 0x80, sys::ReadVersion, 1, {'L', '-', '8', 0, 'x'}), FrameForm::Direct);
  EXPECT_EQ(version.DetailsText(), "version L-8");
  const FrameDescription address =
      DescribeFrame(ReplyFrame(FrameForm::Direct, 9, 0x80, sys::ReadAddress, 1, {9}), FrameForm::Direct);
  EXPECT_EQ(address.DetailsText(), "module address 9");

  // A light reply names the light command; an error status has its word.
  const FrameDescription light =
      DescribeFrame(ReplyFrame(FrameForm::Routed, 2, 0x82, 1, kStatusParameterError), FrameForm::Routed);
  EXPECT_EQ(light.name, "On");
  EXPECT_EQ(light.StatusText(), "Parameter error!");
  EXPECT_EQ(light.DetailsText(), "");
  EXPECT_EQ(DescribeFrame(ReplyFrame(FrameForm::Direct, 2, 0x80, 0, 99), FrameForm::Direct).StatusText(),
            "Response error!");
}

TEST(FrameDescription, UnknownCommandsBrokenFramesAndBytesThatAreNone) {
  const FrameDescription unknown =
      DescribeFrame(ReplyFrame(FrameForm::Direct, 2, 0x85, 1, 1, {0xAB}), FrameForm::Direct);
  EXPECT_EQ(unknown.name, "");
  EXPECT_EQ(unknown.CommandText(), "Class 5 Command 1");
  EXPECT_EQ(unknown.DetailsText(), "parameters AB");

  Bytes broken = test::RequestFrame(RequestId::LightOn, {{"ADDR", 1}, {"OUTPUT", 1}}, kDirect);
  broken.back() ^= 0x01;
  EXPECT_TRUE(DescribeFrame(broken, FrameForm::Direct).isFrame);
  EXPECT_FALSE(DescribeFrame(broken, FrameForm::Direct).checksumOk);
  EXPECT_TRUE(HasBadChecksum(broken));

  const Bytes cut(broken.begin(), broken.end() - 3);
  EXPECT_TRUE(DescribeFrame(cut, FrameForm::Direct).truncated);
  EXPECT_FALSE(HasBadChecksum(cut));
  EXPECT_FALSE(DescribeFrame(test::FromHex("00 55 AA 0A"), FrameForm::Direct).isFrame);
  EXPECT_FALSE(DescribeFrame(test::FromHex("55 AA 07 01 02 03 04"), FrameForm::Direct).isFrame);
  EXPECT_EQ(DescribeFrame(test::FromHex("55 AA"), FrameForm::Direct).CommandText(), "");

  // A frame too short for the routed form is read direct, as the dissector does.
  const Bytes shortFrame = test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 6}}, kDirect);
  const FrameDescription read = DescribeFrame(shortFrame, FrameForm::Routed);
  EXPECT_EQ(read.form, FrameForm::Direct);
  EXPECT_EQ(read.address, 6);

  Bytes trailing = shortFrame;
  trailing.push_back(0x00);
  EXPECT_EQ(DescribeFrame(trailing, FrameForm::Direct).trailing, 1u);
  EXPECT_TRUE(DescribeFrame(trailing, FrameForm::Direct).checksumOk);
}

}  // namespace describe_test
}  // namespace
}  // namespace veltra
