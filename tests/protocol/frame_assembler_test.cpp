// Reply frames found in a serial byte stream: back to back, cut by pauses,
// behind noise and broken frames, and given up after a silence.
#include "protocol/frame_assembler.h"

#include <gtest/gtest.h>

#include <random>

#include "../support/bytes.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using test::FromHex;
using test::Hex;
using Frames = std::vector<FrameAssembler::Frame>;
using Time = FrameAssembler::Clock::time_point;

const Time kStart{};

std::vector<std::uint8_t> WithChecksum(std::vector<std::uint8_t> frame) {
  frame.push_back(0);
  frame.push_back(0);
  const std::uint16_t sum = FrameChecksum(frame.data(), static_cast<int>(frame.size()));
  frame[frame.size() - 2] = static_cast<std::uint8_t>(sum >> 8);
  frame[frame.size() - 1] = static_cast<std::uint8_t>(sum & 0xFF);
  return frame;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const auto kAddress = WithChecksum(FromHex("55 AA 0A 05 80 05 01 03"));
const auto kType = WithChecksum(FromHex("55 AA 0B 01 80 06 01 01 2A"));
const auto kRoutedAddress = WithChecksum(FromHex("55 AA 0C 00 01 05 80 05 01 03"));

Frames Feed(FrameAssembler& assembler, const std::vector<std::uint8_t>& bytes, Time at) {
  return assembler.Feed(bytes.data(), bytes.size(), at);
}

TEST(FrameAssembler, FramesInOneChunkComeOutAllInOrder) {
  FrameAssembler assembler;
  const Frames frames = Feed(assembler, Join({kAddress, kType, kAddress}), kStart);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(Hex(frames[0]), Hex(kAddress));
  EXPECT_EQ(Hex(frames[1]), Hex(kType));
  EXPECT_EQ(Hex(frames[2]), Hex(kAddress));
  EXPECT_EQ(assembler.PendingBytes(), 0u);
  EXPECT_FALSE(assembler.ExpiryTime());
  EXPECT_EQ(assembler.SkippedBytes(), 0u);
}

TEST(FrameAssembler, FrameCutIntoSingleBytesComesOutOnceWithItsLastByte) {
  FrameAssembler assembler;
  Frames all;
  for (std::size_t i = 0; i < kType.size(); ++i) {
    const Frames frames = assembler.Feed(&kType[i], 1, kStart + i * 5ms);
    if (i + 1 < kType.size()) {
      EXPECT_TRUE(frames.empty()) << "after byte " << i;
      EXPECT_EQ(assembler.ExpiryTime(), kStart + i * 5ms + FrameAssembler::kSilenceLimit);
    }
    all.insert(all.end(), frames.begin(), frames.end());
  }
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(Hex(all[0]), Hex(kType));
  // A pause shorter than the silence limit inside a frame is joined too.
  EXPECT_TRUE(Feed(assembler, {kType.begin(), kType.begin() + 4}, kStart + 1s).empty());
  EXPECT_TRUE(assembler.Expire(kStart + 1s + 99ms).empty());
  EXPECT_EQ(Feed(assembler, {kType.begin() + 4, kType.end()}, kStart + 1s + 99ms).size(), 1u);
}

TEST(FrameAssembler, NoiseAndFalseStartsAreSkippedByteByByte) {
  FrameAssembler assembler;
  // A lone 55, 55 AA with a Length too short and too long for a frame, and a
  // complete frame whose checksum is off: none of them holds the frame back.
  auto broken = kType;
  broken.back() ^= 0x01;
  const auto noise = Join({FromHex("00 55 13 55 AA 09 FF 55 AA 07 55 AA 4F 55"), broken});
  const Frames frames = Feed(assembler, Join({noise, kAddress}), kStart);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Hex(frames[0]), Hex(kAddress));
  EXPECT_EQ(assembler.SkippedBytes(), noise.size());
  EXPECT_EQ(assembler.PendingBytes(), 0u);
  // What looked like whole frames is kept as rejected, once: the false
  // start "55 AA 09" spans nine bytes and fails its checksum, then the
  // broken frame.
  const Frames rejected = assembler.TakeRejected();
  ASSERT_EQ(rejected.size(), 2u);
  EXPECT_EQ(Hex(rejected[0]), "55 AA 09 FF 55 AA 07 55 AA");
  EXPECT_EQ(Hex(rejected[1]), Hex(broken));
  EXPECT_TRUE(assembler.TakeRejected().empty());
}

TEST(FrameAssembler, RejectedFramesKeptAreTheLatest) {
  FrameAssembler assembler;
  std::vector<std::uint8_t> line;
  for (int i = 0; i < 12; ++i) {
    auto broken = FromHex("55 AA 0A 05 80 05 01 00");
    broken[7] = static_cast<std::uint8_t>(i);
    broken = WithChecksum(broken);
    broken.back() ^= 0x01;
    line.insert(line.end(), broken.begin(), broken.end());
  }
  EXPECT_TRUE(Feed(assembler, line, kStart).empty());
  const Frames rejected = assembler.TakeRejected();
  ASSERT_EQ(rejected.size(), FrameAssembler::kKeptRejected);
  EXPECT_EQ(rejected.front()[7], 12 - FrameAssembler::kKeptRejected);
  EXPECT_EQ(rejected.back()[7], 11);
}

TEST(FrameAssembler, FrameBehindRandomNoiseIsFoundAtTheLatestAfterTheSilence) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint8_t> noise(50);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    FrameAssembler assembler;
    Frames frames = Feed(assembler, Join({noise, kAddress}), kStart);
    // A false start in the noise may claim bytes up to the frame's end; it
    // is given up once the line has been silent.
    const Frames late = assembler.Expire(kStart + FrameAssembler::kSilenceLimit);
    frames.insert(frames.end(), late.begin(), late.end());
    ASSERT_FALSE(frames.empty()) << "round " << round;
    EXPECT_EQ(Hex(frames.back()), Hex(kAddress)) << "round " << round;
    EXPECT_EQ(assembler.PendingBytes(), 0u);
  }
}

TEST(FrameAssembler, IncompleteFrameIsGivenUpAfterTheSilenceOnly) {
  FrameAssembler assembler;
  const std::vector<std::uint8_t> truncated(kType.begin(), kType.begin() + 6);
  EXPECT_TRUE(Feed(assembler, truncated, kStart).empty());
  EXPECT_EQ(assembler.ExpiryTime(), kStart + 100ms);
  EXPECT_TRUE(assembler.Expire(kStart + 99ms).empty());
  EXPECT_EQ(assembler.PendingBytes(), truncated.size());
  EXPECT_TRUE(assembler.Expire(kStart + 100ms).empty());
  EXPECT_EQ(assembler.PendingBytes(), 0u);
  EXPECT_EQ(assembler.SkippedBytes(), truncated.size());
  EXPECT_FALSE(assembler.ExpiryTime());

  // Without an Expire call the next bytes after a silence settle the stale
  // ones first: a frame start whose Length reaches past the next reply does
  // not swallow it.
  EXPECT_TRUE(Feed(assembler, FromHex("55 AA 4E 01 80"), kStart + 1s).empty());
  const Frames frames = Feed(assembler, kAddress, kStart + 1s + 200ms);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Hex(frames[0]), Hex(kAddress));
}

TEST(FrameAssembler, FrameInsideAnIncompleteFrameComesOutWhenItIsGivenUp) {
  FrameAssembler assembler;
  // The truncated frame's Length (0x4E) reaches past the whole reply behind it.
  const auto stream = Join({FromHex("55 AA 4E 01"), kAddress, kType});
  EXPECT_TRUE(Feed(assembler, stream, kStart).empty());
  const Frames frames = assembler.Expire(kStart + 150ms);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(Hex(frames[0]), Hex(kAddress));
  EXPECT_EQ(Hex(frames[1]), Hex(kType));
  EXPECT_EQ(assembler.SkippedBytes(), 4u);
}

TEST(FrameAssembler, LengthMustFitAFrameOfTheForm) {
  FrameAssembler direct;
  // Nine bytes carry a direct reply's Status; eight are a request without
  // parameters, heard on the line; seven are no frame.
  EXPECT_EQ(Feed(direct, WithChecksum(FromHex("55 AA 09 01 80 06 01")), kStart).size(), 1u);
  EXPECT_EQ(Feed(direct, WithChecksum(FromHex("55 AA 08 01 00 06")), kStart).size(), 1u);
  EXPECT_TRUE(Feed(direct, WithChecksum(FromHex("55 AA 07 01 00")), kStart).empty());
  EXPECT_EQ(direct.PendingBytes(), 0u) << "a too short Length is no frame start, not a wait";

  // 78 bytes is the longest frame a receiver takes; 79 is not a frame.
  std::vector<std::uint8_t> longest = FromHex("55 AA 4E 01 80 07 01");
  longest.resize(76, 0x41);
  EXPECT_EQ(Feed(direct, WithChecksum(longest), kStart).size(), 1u);
  longest[2] = 0x4F;
  longest.push_back(0x41);
  EXPECT_TRUE(Feed(direct, WithChecksum(longest), kStart).empty());
  EXPECT_EQ(direct.PendingBytes(), 0u);

  FrameAssembler routed(FrameForm::Routed);
  const auto nine = WithChecksum(FromHex("55 AA 09 01 80 06 01"));
  EXPECT_TRUE(Feed(routed, nine, kStart).empty()) << "nine bytes hold no routed frame";
  EXPECT_EQ(Feed(routed, kRoutedAddress, kStart).size(), 1u);
  routed.SetForm(FrameForm::Direct);
  EXPECT_EQ(Feed(routed, nine, kStart).size(), 1u);
}

TEST(FrameAssembler, HeaderBytesInsideAFrameDoNotCutIt) {
  FrameAssembler assembler;
  const auto version = WithChecksum(FromHex("55 AA 0D 05 80 07 01 55 AA 0A 05"));
  const Frames frames = Feed(assembler, Join({version, kAddress}), kStart);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(Hex(frames[0]), Hex(version));
  EXPECT_EQ(Hex(frames[1]), Hex(kAddress));
}

TEST(FrameAssembler, ClearForgetsWaitingBytes) {
  FrameAssembler assembler;
  EXPECT_TRUE(Feed(assembler, {kType.begin(), kType.begin() + 5}, kStart).empty());
  assembler.Clear();
  EXPECT_FALSE(assembler.ExpiryTime());
  EXPECT_EQ(Feed(assembler, kType, kStart + 1ms).size(), 1u);
}

}  // namespace
}  // namespace veltra
