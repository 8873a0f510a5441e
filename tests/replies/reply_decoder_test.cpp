#include "replies/reply_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "../support/bytes.h"

namespace veltra {
namespace {

using test::FromHex;

const std::string kRead = "Read \xEF\xBC\x9A";

// A reply with its header, Length and checksum filled in.
std::vector<std::uint8_t> Reply(const std::string& fieldsAfterLength) {
  const auto fields = FromHex(fieldsAfterLength);
  std::vector<std::uint8_t> frame{0x55, 0xAA, static_cast<std::uint8_t>(fields.size() + 5)};
  for (std::uint8_t b : fields) frame.push_back(b);
  frame.push_back(0);
  frame.push_back(0);
  const auto sum = FrameChecksum(frame.data(), static_cast<int>(frame.size()));
  frame[frame.size() - 2] = sum >> 8;
  frame[frame.size() - 1] = sum & 0xFF;
  return frame;
}

DecodedReply Direct(const std::vector<std::uint8_t>& f, bool masked = false) {
  return DecodeDirect(f.data(), f.size(), masked);
}
DecodedReply Routed(const std::vector<std::uint8_t>& f, bool masked = false) {
  return DecodeRouted(f.data(), f.size(), masked);
}

TEST(ReplyDecoder, AddressReplyLogLineAndEffect) {
  const auto frame = FromHex("55 AA 0A 05 80 05 01 03 54 3D");
  auto r = Direct(frame);
  ASSERT_TRUE(r.logLine);
  EXPECT_EQ(*r.logLine, kRead + "55 AA 0A 05 80 05 01 03 54 3D   OK!");
  EXPECT_EQ(r.effect, ReplyEffect::ModuleAddress);
  EXPECT_EQ(r.moduleAddress, 3);
  EXPECT_EQ(*Direct(frame, true).logLine, kRead + "X  OK!");

  auto routed = Routed(FromHex("55 AA 0C 00 01 05 80 05 01 03 54 30"));
  EXPECT_EQ(routed.effect, ReplyEffect::ModuleAddress);
  EXPECT_EQ(routed.moduleAddress, 3);
  // Subnet FFFF with address FE is an ordinary address reply, raw P0 kept.
  routed = Routed(Reply("FF FF FE 80 05 01 63"));
  EXPECT_EQ(routed.effect, ReplyEffect::ModuleAddress);
  EXPECT_EQ(routed.moduleAddress, 0x63);
}

TEST(ReplyDecoder, RejectionsAreSilent) {
  auto frame = FromHex("55 AA 0A 05 80 05 01 03 54 3D");
  auto bad = frame;
  bad[1] = 0xAB;
  EXPECT_FALSE(Direct(bad).logLine);
  bad = frame;
  bad[9] ^= 1;
  EXPECT_FALSE(Direct(bad).logLine);
  // A stray byte before the header.
  bad = frame;
  bad.insert(bad.begin(), 0x00);
  EXPECT_FALSE(Direct(bad).logLine);
  // Split over two chunks: neither half is a frame.
  EXPECT_FALSE(Direct({frame.begin(), frame.begin() + 5}).logLine);
  EXPECT_FALSE(Direct({frame.begin() + 5, frame.end()}).logLine);
  // More than 200 bytes is not a routed frame, whatever it starts with.
  auto routed = FromHex("55 AA 0C 00 01 05 80 05 01 03 54 30");
  routed.resize(201);
  EXPECT_FALSE(Routed(routed).logLine);
  routed.resize(200);
  EXPECT_TRUE(Routed(routed).logLine) << "trailing bytes are ignored";
}

TEST(ReplyDecoder, FramesTooShortForAStatusAreDropped) {
  // Length 2 passes the checksum on the header itself; no Status exists.
  EXPECT_FALSE(Direct(FromHex("55 AA 02")).logLine);
  EXPECT_FALSE(Direct(FromHex("55 AA 00")).logLine);
  EXPECT_FALSE(Direct(FromHex("55 AA 01")).logLine);
  // Direct minimum is 9, routed 11.
  EXPECT_TRUE(Direct(Reply("05 80 09 01")).logLine);
  EXPECT_FALSE(Direct(Reply("05 80 09")).logLine);
  EXPECT_TRUE(Routed(Reply("00 01 05 80 09 01")).logLine);
  EXPECT_FALSE(Routed(Reply("00 01 05 80 09")).logLine);
}

TEST(ReplyDecoder, TwoFramesInOneChunkDecodeTheFirst) {
  auto chunk = FromHex("55 AA 0A 05 80 05 01 03 54 3D");
  const auto second = FromHex("55 AA 0A 05 80 05 01 07 54 39");
  chunk.insert(chunk.end(), second.begin(), second.end());
  const auto r = Direct(chunk);
  EXPECT_EQ(r.moduleAddress, 3);
  EXPECT_EQ(*r.logLine, kRead + "55 AA 0A 05 80 05 01 03 54 3D   OK!");
}

TEST(ReplyDecoder, OversizeSerialChunkDecodesItsFirstFrameSafely) {
  auto chunk = Reply("05 80 05 01 09");
  chunk.resize(2048, 0xEE);
  EXPECT_EQ(Direct(chunk).moduleAddress, 9);
}

TEST(ReplyDecoder, LengthAbove78IsDumpedAs78) {
  std::vector<std::uint8_t> frame(78, 0);
  frame[0] = 0x55;
  frame[1] = 0xAA;
  frame[2] = 0xF0;
  frame[3] = 1;
  frame[4] = 0x82;
  frame[5] = 1;
  frame[6] = 1;
  frame[2] = 78;
  const auto sum = FrameChecksum(frame.data(), 78);
  frame[2] = 0xF0;  // checked as if it said 78
  frame[76] = sum >> 8;
  frame[77] = sum & 0xFF;
  const auto r = Direct(frame);
  ASSERT_TRUE(r.logLine);
  EXPECT_EQ(r.logLine->size(), kRead.size() + 78 * 3 + 2 + 3);
  EXPECT_NE(r.logLine->find("55 AA 4E "), std::string::npos) << "the dump shows the clamped Length";
}

TEST(ReplyDecoder, EveryStatusWord) {
  const char* words[] = {"Response error!", "OK!", "Module address is out of range!",
                         "Device address is out of range!", "Memory error!", "Parameter error!",
                         "Command error!", "Module address is occupied", "Response error!"};
  for (int status = 0; status <= 8; ++status) {
    const auto r = Direct(Reply("05 80 08 " + test::Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(status)}) +
                                " 01 01"),
                          true);
    ASSERT_TRUE(r.logLine) << status;
    EXPECT_EQ(*r.logLine, kRead + "X  " + words[status]);
    if (status != 1) {
      EXPECT_EQ(r.effect, ReplyEffect::None) << status;
    }
  }
  EXPECT_STREQ(StatusWord(255), "Response error!");
}

TEST(ReplyDecoder, StatusBytesNeedP0OfOneAndClass80) {
  auto r = Direct(Reply("02 80 08 01 01 00 00 00 00 01 00 00 00"));
  ASSERT_EQ(r.effect, ReplyEffect::StatusBytes);
  EXPECT_EQ(r.statusBits, (std::vector<bool>{false, false, false, false, true, false, false, false}));
  r = Routed(Reply("00 01 02 80 08 01 01 03 02 FF"));
  EXPECT_EQ(r.statusBits, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(Direct(Reply("02 80 08 01 00 01 01")).effect, ReplyEffect::None);
  EXPECT_EQ(Direct(Reply("02 82 08 01 01 01 01")).effect, ReplyEffect::None);
  // A parameter error on a status read changes nothing.
  r = Direct(Reply("02 80 08 05 01 01 01"));
  EXPECT_EQ(r.effect, ReplyEffect::None);
  EXPECT_NE(r.logLine->find("Parameter error!"), std::string::npos);
}

TEST(ReplyDecoder, ModuleTypeAndVersionTargets) {
  auto r = Direct(Reply("FF 80 06 01 01 2A"));
  EXPECT_EQ(r.effect, ReplyEffect::ModuleType);
  EXPECT_EQ(r.text, "012A");
  EXPECT_FALSE(r.toBusSwitchFields) << "the direct form always writes the module field";
  r = Routed(Reply("00 01 FF 80 06 01 01 2A"));
  EXPECT_TRUE(r.toBusSwitchFields);
  r = Routed(Reply("00 01 05 80 06 01 AB CD"));
  EXPECT_FALSE(r.toBusSwitchFields);
  EXPECT_EQ(r.text, "ABCD");

  r = Direct(Reply("05 80 07 01 56 31 2E 30"));
  EXPECT_EQ(r.effect, ReplyEffect::Version);
  EXPECT_EQ(r.text, "V1.0");
  r = Routed(Reply("00 01 FF 80 07 01 56 31 00 30"));
  EXPECT_EQ(r.text, "V1");
  EXPECT_TRUE(r.toBusSwitchFields);
  EXPECT_EQ(Direct(Reply("05 80 07 01")).text, "");
}

TEST(ReplyDecoder, SceneConfirmations) {
  EXPECT_EQ(Direct(Reply("03 80 02 01 07")).effect, ReplyEffect::SaveScene);
  EXPECT_EQ(Routed(Reply("00 01 03 80 03 01")).effect, ReplyEffect::DeleteModuleScenes);
  EXPECT_EQ(Direct(Reply("03 80 02 02 07")).effect, ReplyEffect::None);
}

TEST(ReplyDecoder, BusSwitchConfigurationReply) {
  std::string record = "01 02 C0 A8 0E 03 07 D1 FF FF FF 00 C0 A8 0E 01 C0 A8 0E 14 07 D2 00 1A 2B 3C 4D 5E";
  auto r = Routed(Reply("FF FF FF 80 05 01 " + record));
  ASSERT_EQ(r.effect, ReplyEffect::BusSwitchConfig);
  EXPECT_EQ(test::Hex(r.busSwitchRecord.data(), r.busSwitchRecord.size()), record);
  // Only the routed decoder knows it; directly it is an address reply.
  EXPECT_EQ(Direct(Reply("FF 80 05 01 01")).effect, ReplyEffect::ModuleAddress);
  // A shorter reply with a valid checksum fills from the fixed offsets, zeros beyond.
  r = Routed(Reply("FF FF FF 80 05 01 01 02 C0"));
  ASSERT_EQ(r.effect, ReplyEffect::BusSwitchConfig);
  EXPECT_EQ(r.busSwitchRecord[0], 1);
  EXPECT_EQ(r.busSwitchRecord[1], 2);
  EXPECT_EQ(r.busSwitchRecord[2], 0xC0);
  // The checksum bytes of the short frame sit where the record continues.
  for (std::size_t i = 5; i < r.busSwitchRecord.size(); ++i) EXPECT_EQ(r.busSwitchRecord[i], 0) << i;
}

}  // namespace
}  // namespace veltra
