// The send path: the completed frame is logged, then handed to the link;
// what the link says of it comes back with the frame as sent.
#include "link/send_path.h"

#include <gtest/gtest.h>

#include <vector>

#include "../support/bytes.h"
#include "protocol/command_catalogue.h"

namespace veltra {
namespace {

struct FakeLink : Link, RequestLog {
  bool masked = false;
  bool open = false;
  bool failSend = false;
  std::vector<std::string> log;
  std::vector<std::string> written;

  bool LogMasked() const override { return masked; }
  void AppendLog(const std::string& line) override { log.push_back(line); }
  bool IsOpen() const override { return open; }
  TransmitStatus Transmit(std::span<const std::uint8_t> frame) override {
    if (failSend) throw LinkError("Socket Error # 101", "Network is unreachable", 101);
    if (!open) return TransmitStatus::NotOpen;
    written.emplace_back(frame.begin(), frame.end());
    return TransmitStatus::Sent;
  }
  std::optional<ReceivedUnit> Receive(int) override { return std::nullopt; }
  void DiscardPending() override {}
};

TransmitBuffer LightOn() {
  TransmitBuffer buffer{};
  RequestValues values;
  values.ints = {{"ADDR", 1}, {"OUTPUT", 1}};
  BuildRequest(Request(RequestId::LightOn), values, {}, buffer);
  return buffer;
}

TEST(SendPath, LogsHexWithTrailingBlankThenTransmitsExactlyLengthBytes) {
  FakeLink link;
  link.open = true;
  auto buffer = LightOn();
  buffer[10] = 0x77;  // a byte past Length is never sent
  const SendResult result = SendDataDeal(buffer, link, link);
  ASSERT_EQ(link.log.size(), 1u);
  EXPECT_EQ(link.log[0], "Send \xEF\xBC\x9A" "55 AA 0A 01 02 01 00 FF 57 A6 ");
  ASSERT_EQ(link.written.size(), 1u);
  EXPECT_EQ(test::Hex(link.written[0]), "55 AA 0A 01 02 01 00 FF 57 A6");
  EXPECT_EQ(result.transmit, TransmitStatus::Sent);
  EXPECT_EQ(test::Hex(result.request), "55 AA 0A 01 02 01 00 FF 57 A6");
}

TEST(SendPath, MaskedLogShowsMarkerOnly) {
  FakeLink link;
  link.open = true;
  link.masked = true;
  auto buffer = LightOn();
  SendDataDeal(buffer, link, link);
  EXPECT_EQ(link.log.at(0), "Send \xEF\xBC\x9AX");
  EXPECT_EQ(HexText(std::vector<std::uint8_t>(8, 0xAB).data(), 8).size(), 24u);
}

TEST(SendPath, NotSentAndFailedSendsStillHaveTheirLogLine) {
  FakeLink link;
  auto buffer = LightOn();
  // A closed link: the line says the request was not sent, bytes or marker.
  EXPECT_EQ(SendDataDeal(buffer, link, link).transmit, TransmitStatus::NotOpen);
  EXPECT_TRUE(link.written.empty());
  link.masked = true;
  SendDataDeal(buffer, link, link);
  EXPECT_EQ(link.log, (std::vector<std::string>{"Not sent \xEF\xBC\x9A" "55 AA 0A 01 02 01 00 FF 57 A6 ",
                                                "Not sent \xEF\xBC\x9AX"}));
  // An open link that fails: the line was "Send" before the error.
  link.open = true;
  link.failSend = true;
  EXPECT_THROW(SendDataDeal(buffer, link, link), LinkError);
  EXPECT_EQ(link.log.size(), 3u);
  EXPECT_EQ(link.log.back(), "Send \xEF\xBC\x9AX");
}

}  // namespace
}  // namespace veltra
