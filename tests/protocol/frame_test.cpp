#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <array>

#include "../support/bytes.h"
#include "protocol/transmit_buffer.h"

namespace veltra {
namespace {

using test::FromHex;
using test::Hex;

std::string Completed(const std::string& withoutChecksum) {
  TransmitBuffer buffer{};
  const auto bytes = FromHex(withoutChecksum);
  std::copy(bytes.begin(), bytes.end(), buffer.begin());
  CompleteFrame(buffer.data());
  return Hex(buffer.data(), buffer[2]);
}

TEST(Frame, WorkedExamplesCompleteByteExact) {
  // The header is written by CompleteFrame whatever the buffer held.
  EXPECT_EQ(Completed("00 00 0A 01 02 01 00 FF"), "55 AA 0A 01 02 01 00 FF 57 A6");
  EXPECT_EQ(Completed("55 AA 0C 00 01 01 02 01 00 FF"), "55 AA 0C 00 01 01 02 01 00 FF 57 A5");
  EXPECT_EQ(Completed("55 AA 08 FF 00 05"), "55 AA 08 FF 00 05 57 A1");
  EXPECT_EQ(Completed("55 AA 0A 00 01 FF 00 05"), "55 AA 0A 00 01 FF 00 05 57 A4");
  EXPECT_EQ(Completed("55 AA 0B 01 01 00 00 4E 20"), "55 AA 0B 01 01 00 00 4E 20 54 D0");
  // Header bytes inside the parameters are sent unchanged.
  EXPECT_EQ(Completed("55 AA 0A 01 02 01 55 AA").substr(0, 23), "55 AA 0A 01 02 01 55 AA");
}

TEST(Frame, LengthAbove200IsSentAs200) {
  TransmitBuffer buffer{};
  buffer[2] = 230;
  for (int i = 3; i < 198; ++i) buffer[static_cast<std::size_t>(i)] = 0xFF;
  CompleteFrame(buffer.data());
  EXPECT_EQ(buffer[2], 200);
  const std::uint16_t sum = FrameChecksum(buffer.data(), 200);
  EXPECT_EQ(buffer[198], sum >> 8);
  EXPECT_EQ(buffer[199], sum & 0xFF);
  // 0x55 + 0xAA + 200 + 195 * 0xFF: the largest sum, still without wrap.
  EXPECT_EQ(sum ^ kChecksumMask, 0x55 + 0xAA + 200 + 195 * 0xFF);
}

TEST(Frame, AcceptRejectsHeaderAndChecksumFaults) {
  std::array<std::uint8_t, 200> copy{};
  const auto good = FromHex("55 AA 0A 05 80 05 01 03 54 3D");
  std::copy(good.begin(), good.end(), copy.begin());
  EXPECT_TRUE(AcceptFrame(copy.data()));

  auto bad = copy;
  bad[1] = 0xAB;
  EXPECT_FALSE(AcceptFrame(bad.data()));
  bad = copy;
  bad[8] ^= 1;
  EXPECT_FALSE(AcceptFrame(bad.data()));
  bad = copy;
  bad[9] += 1;
  EXPECT_FALSE(AcceptFrame(bad.data()));
}

TEST(Frame, AcceptClampsLengthTo78AndChecksAt76) {
  std::array<std::uint8_t, 200> copy{};
  copy[0] = 0x55;
  copy[1] = 0xAA;
  copy[2] = 78;
  const std::uint16_t sum = FrameChecksum(copy.data(), 78);
  copy[2] = 0x4F;  // 79: checked, and summed, as 78
  copy[76] = sum >> 8;
  copy[77] = sum & 0xFF;
  ASSERT_TRUE(AcceptFrame(copy.data()));
  EXPECT_EQ(copy[2], 78);
}

TEST(Frame, ShortBlockIsCheckedAgainstZeros) {
  // The first six bytes of a 10-byte reply: positions 6..9 read as zero.
  std::array<std::uint8_t, 200> copy{};
  const auto part = FromHex("55 AA 0A 05 80 05");
  std::copy(part.begin(), part.end(), copy.begin());
  EXPECT_FALSE(AcceptFrame(copy.data()));
}

}  // namespace
}  // namespace veltra
