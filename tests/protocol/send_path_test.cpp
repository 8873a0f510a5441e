#include "protocol/send_path.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "../support/bytes.h"
#include "protocol/output_commands.h"

namespace veltra {
namespace {

// The monitor log and one link that stands for the selected one: the
// network link when `network` is set, the serial link otherwise.
struct FakeLinks : Link, RequestLog {
  bool network = false;
  bool masked = false;
  bool serialOpen = false;
  std::vector<std::string> log;
  std::vector<std::string> datagrams;
  std::vector<std::string> written;
  std::vector<std::string> decoded;
  std::string reply;
  bool failSend = false;
  int receiveTimeout = 0;

  bool LogMasked() const override { return masked; }
  void AppendLog(const std::string& line) override { log.push_back(line); }
  bool IsOpen() const override { return network || serialOpen; }
  TransmitStatus Transmit(std::span<const std::uint8_t> frame) override {
    const std::string bytes(frame.begin(), frame.end());
    if (!network) {
      written.push_back(bytes);
      return serialOpen ? TransmitStatus::Sent : TransmitStatus::NotOpen;
    }
    if (failSend) throw LinkError("Socket Error # 101", "Network is unreachable", 101);
    datagrams.push_back(bytes);
    return TransmitStatus::Sent;
  }
  std::optional<Bytes> Receive(int timeoutMs) override {
    receiveTimeout = timeoutMs;
    if (reply.empty()) return std::nullopt;
    return Bytes(reply.begin(), reply.end());
  }
  void DiscardPending() override {}
};

// As the window sends: only the network link waits, and what it receives
// goes to the decoder.
SendResult Send(TransmitBuffer& buffer, FakeLinks& links) {
  SendResult result = SendDataDeal(buffer, links, links, links.network);
  if (result.reply) links.decoded.emplace_back(result.reply->begin(), result.reply->end());
  return result;
}

TransmitBuffer LightOn() {
  TransmitBuffer buffer{};
  BuildOutputCommand(buffer, OutputCommand::LightOn, {}, {1, 1, 0});
  return buffer;
}

TEST(SendPath, LogsHexWithTrailingBlankThenWritesSerial) {
  FakeLinks links;
  auto buffer = LightOn();
  Send(buffer, links);
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
  Send(buffer, links);
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
  Send(buffer, links);
  ASSERT_EQ(links.datagrams.size(), 1u);
  EXPECT_EQ(links.datagrams[0].size(), 10u);
  EXPECT_EQ(links.receiveTimeout, -1);
  EXPECT_EQ(links.decoded.size(), 1u);
  EXPECT_TRUE(links.written.empty());

  links.reply.clear();
  Send(buffer, links);
  EXPECT_EQ(links.decoded.size(), 1u) << "an empty receive is no reply";
}

TEST(SendPath, FailedSendStillHasItsLogLine) {
  FakeLinks links;
  links.network = true;
  links.failSend = true;
  auto buffer = LightOn();
  EXPECT_THROW(Send(buffer, links), LinkError);
  EXPECT_EQ(links.log.size(), 1u);
  EXPECT_TRUE(links.decoded.empty());
}

TEST(SendPath, OutcomesTellSentRepliedNoReplyAndNotSentApart) {
  FakeLinks links;
  auto buffer = LightOn();
  SendResult result = Send(buffer, links);
  EXPECT_EQ(result.transmit, TransmitStatus::NotOpen);
  EXPECT_EQ(result.outcome, SendOutcome::NotSent) << "a closed serial link sends nothing";
  EXPECT_EQ(links.log.size(), 1u) << "but the request is logged";

  links.serialOpen = true;
  EXPECT_EQ(Send(buffer, links).outcome, SendOutcome::Sent);

  links.network = true;
  result = Send(buffer, links);
  EXPECT_EQ(result.outcome, SendOutcome::NoReply);
  EXPECT_EQ(test::Hex(std::string(result.request.begin(), result.request.end())), "55 AA 0A 01 02 01 00 FF 57 A6");

  links.reply = "\x55\xAA\x0C";
  result = Send(buffer, links);
  EXPECT_EQ(result.outcome, SendOutcome::Replied);
  ASSERT_TRUE(result.reply.has_value());
  EXPECT_EQ(result.reply->size(), 3u);
  EXPECT_GE(result.roundTrip.count(), 0);
}

}  // namespace
}  // namespace veltra
