#include "protocol/send_path.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "../support/bytes.h"
#include "protocol/output_commands.h"

namespace veltra {
namespace {

struct FakeLinks : RequestLinks {
  bool network = false;
  bool masked = false;
  std::vector<std::string> log;
  std::vector<std::string> datagrams;
  std::vector<std::string> written;
  std::vector<std::string> decoded;
  std::string reply;
  bool failSend = false;
  int receiveTimeout = 0;

  bool NetworkSelected() const override { return network; }
  bool LogMasked() const override { return masked; }
  void AppendLog(const std::string& line) override { log.push_back(line); }
  void SendDatagram(const std::string& bytes) override {
    if (failSend) throw std::runtime_error("Socket Error # 101");
    datagrams.push_back(bytes);
  }
  std::string ReceiveDatagram(int timeoutMs) override {
    receiveTimeout = timeoutMs;
    return reply;
  }
  void ReceiveDeal(const std::string& bytes) override { decoded.push_back(bytes); }
  bool WriteData(const std::uint8_t* bytes, std::uint16_t length) override {
    written.emplace_back(reinterpret_cast<const char*>(bytes), length);
    return false;  // a closed serial link refuses; the send path does not care
  }
};

TransmitBuffer LightOn() {
  TransmitBuffer buffer{};
  BuildOutputCommand(buffer, OutputCommand::LightOn, {}, {1, 1, 0});
  return buffer;
}

TEST(SendPath, LogsHexWithTrailingBlankThenWritesSerial) {
  FakeLinks links;
  auto buffer = LightOn();
  SendDataDeal(buffer, links);
  ASSERT_EQ(links.log.size(), 1u);
  EXPECT_EQ(links.log[0], "Send \xEF\xBC\x9A" "55 AA 0A 01 02 01 00 FF 57 A6 ");
  ASSERT_EQ(links.written.size(), 1u);
  EXPECT_EQ(test::Hex(links.written[0]), "55 AA 0A 01 02 01 00 FF 57 A6");
  EXPECT_TRUE(links.datagrams.empty());
}

TEST(SendPath, MaskedLogShowsMarkerOnly) {
  FakeLinks links;
  links.masked = true;
  auto buffer = LightOn();
  SendDataDeal(buffer, links);
  EXPECT_EQ(links.log.at(0), "Send \xEF\xBC\x9AX");
}

TEST(SendPath, EightByteFrameGives24HexCharacters) {
  EXPECT_EQ(HexText(std::vector<std::uint8_t>(8, 0xAB).data(), 8).size(), 24u);
}

TEST(SendPath, NetworkSendsExactLengthAndDecodesNonEmptyReply) {
  FakeLinks links;
  links.network = true;
  links.reply = std::string("\x55\xAA", 2);
  auto buffer = LightOn();
  buffer[10] = 0x77;  // stale byte past Length must not be sent
  SendDataDeal(buffer, links);
  ASSERT_EQ(links.datagrams.size(), 1u);
  EXPECT_EQ(links.datagrams[0].size(), 10u);
  EXPECT_EQ(links.receiveTimeout, -1);
  EXPECT_EQ(links.decoded.size(), 1u);
  EXPECT_TRUE(links.written.empty());

  links.reply.clear();
  SendDataDeal(buffer, links);
  EXPECT_EQ(links.decoded.size(), 1u) << "an empty receive is no reply";
}

TEST(SendPath, FailedSendStillHasItsLogLine) {
  FakeLinks links;
  links.network = true;
  links.failSend = true;
  auto buffer = LightOn();
  EXPECT_THROW(SendDataDeal(buffer, links), std::runtime_error);
  EXPECT_EQ(links.log.size(), 1u);
  EXPECT_TRUE(links.decoded.empty());
}

}  // namespace
}  // namespace veltra
