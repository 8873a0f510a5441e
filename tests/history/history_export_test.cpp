// Exports of history rows read back: CSV by an RFC 4180 reader, JSON lines
// by a JSON parser, pcap files by libpcap.
#include "history/history_export.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "../capture/capture_support.h"
#include "../support/bytes.h"
#include "capture/capture_packet.h"
#include "history_support.h"

namespace veltra::history {
namespace {

using test::Observed;

struct Row {
  FrameRecord record;
  LinkInfo link;
};

std::vector<Row> Rows() {
  const LinkInfo serial = LinkInfoOf(test::kSerialPeer, test::kLine9600);
  const LinkInfo udp = LinkInfoOf(test::kUdpPeer, {});
  const std::int64_t t = 1'765'272'902'000'000;
  // A version text with a comma and a quote in it.
  const Bytes version = BuildReplyFrame(FrameForm::Direct, 0, 4, 0x80, 7, 1, {'V', '1', ',', '"', 'x', '"'});
  const Bytes onTime =
      test::RequestFrame(RequestId::LightSetOnTime, {{"ADDR", 2}, {"OUTPUT", 3}, {"SECONDS", 30}}, {FrameForm::Routed, 1});
  return {
      {Observed(ObservedKind::Sent, onTime, t, FrameForm::Routed), udp},
      {Observed(ObservedKind::Answer, test::LightReply(2, kStatusOk, FrameForm::Routed), t + 1500, FrameForm::Routed,
                std::chrono::microseconds(1500)),
       udp},
      {Observed(ObservedKind::Unrelated, version, t + 2000), serial},
      {Observed(ObservedKind::Noise, {}, t + 3000, FrameForm::Direct, std::nullopt, 5), serial},
      {Observed(ObservedKind::NoReply, test::LightOn(9, 1), t + 4000), serial},
  };
}

RowSource SourceOf(const std::vector<Row>& rows) {
  return [&rows](const std::function<void(const FrameRecord&, const LinkInfo&)>& visit) {
    for (const Row& row : rows) visit(row.record, row.link);
  };
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Records of RFC 4180 text: quoted fields may hold commas, quotes (doubled)
// and line ends.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    std::string& field = records.back().back();
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().emplace_back();
    } else if (c == '\n') {
      records.emplace_back(1);
    } else {
      field += c;
    }
  }
  if (records.back().size() == 1 && records.back()[0].empty()) records.pop_back();
  return records;
}

TEST(HistoryExport, CsvReadsBackWithTheMonitorsColumns) {
  test::ScratchFolder folder;
  const std::vector<Row> rows = Rows();
  const std::string path = folder.File("frames.csv");
  EXPECT_EQ(ExportRows(path, ExportFormat::Csv, SourceOf(rows)), std::vector<std::string>{path});
  const auto records = ReadCsv(Contents(path));
  ASSERT_EQ(records.size(), rows.size() + 1);
  EXPECT_EQ(records[0], (std::vector<std::string>{"time", "link", "direction", "subnet", "address", "command", "status",
                                                   "details", "round_trip_ms", "flags", "bytes"}));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const RowTexts t = TextsOf(rows[i].record, rows[i].link);
    const auto& r = records[i + 1];
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r[0], IsoTimeText(rows[i].record.timeUs));
    EXPECT_EQ(r[1], t.link);
    EXPECT_EQ(r[4], t.address);
    EXPECT_EQ(r[5], t.command);
    EXPECT_EQ(r[7], t.details);
    EXPECT_EQ(r[9], t.flags);
  }
  EXPECT_EQ(records[1][7], "Output 3, turn-on time 30 s");
  EXPECT_EQ(records[2][8], "1.500");
  EXPECT_EQ(records[3][7], "version V1,\"x\"");
  EXPECT_EQ(records[4][9], "noise skipped (5 bytes)");
  EXPECT_EQ(records[5][2], "Sent");
}

TEST(HistoryExport, JsonLinesReadBackWithNullsForWhatIsAbsent) {
  test::ScratchFolder folder;
  const std::vector<Row> rows = Rows();
  const std::string path = folder.File("frames.jsonl");
  ExportRows(path, ExportFormat::JsonLines, SourceOf(rows));
  std::istringstream lines(Contents(path));
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), rows.size());
  EXPECT_EQ(objects[0]["direction"], "sent");
  EXPECT_EQ(objects[0]["subnet"], 1);
  EXPECT_EQ(objects[0]["command"], "SetOnTime");
  EXPECT_TRUE(objects[0]["status"].is_null());
  EXPECT_EQ(objects[1]["status_word"], "OK!");
  EXPECT_DOUBLE_EQ(objects[1]["round_trip_ms"].get<double>(), 1.5);
  EXPECT_EQ(objects[2]["flags"], nlohmann::json::array({"unrelated frame"}));
  EXPECT_EQ(objects[2]["details"], "version V1,\"x\"");
  EXPECT_TRUE(objects[3]["address"].is_null());
  EXPECT_EQ(objects[3]["bytes"], "");
  EXPECT_EQ(objects[4]["flags"], nlohmann::json::array({"no reply"}));
  EXPECT_EQ(objects[4]["bytes"], test::Hex(test::LightOn(9, 1)));
}

TEST(HistoryExport, PcapFilesHoldTheFramesOfEachLink) {
  test::ScratchFolder folder;
  const std::vector<Row> rows = Rows();
  const std::string path = folder.File("frames.pcap");
  const std::vector<std::string> files = ExportRows(path, ExportFormat::Pcap, SourceOf(rows));
  ASSERT_EQ(files, (std::vector<std::string>{path, folder.File("frames-serial.pcap")}));

  const test::CaptureFileContents udp = test::ReadCaptureFile(files[0]);
  EXPECT_EQ(udp.linkType, 101u);
  ASSERT_EQ(udp.records.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const Bytes& frame = rows[i].record.bytes;
    const Bytes& packet = udp.records[i].bytes;
    ASSERT_EQ(packet.size(), 28 + frame.size()) << "IPv4 and UDP headers, then the frame";
    EXPECT_EQ(Bytes(packet.end() - static_cast<std::ptrdiff_t>(frame.size()), packet.end()), frame);
    EXPECT_EQ(udp.records[i].seconds * 1'000'000 + udp.records[i].nanoseconds / 1000, rows[i].record.timeUs);
  }
  EXPECT_EQ((udp.records[1].bytes[20] << 8) | udp.records[1].bytes[21], 2001) << "received from the bus switch's port";

  // The serial line's frame; noise and no reply have none.
  const test::CaptureFileContents serial = test::ReadCaptureFile(files[1]);
  EXPECT_EQ(serial.linkType, 147u);
  ASSERT_EQ(serial.records.size(), 1u);
  EXPECT_EQ(serial.records[0].bytes, SerialRecord(FrameDirection::Received, rows[2].record.bytes));

  // Serial rows alone go into the file named.
  const std::vector<Row> serialOnly(rows.begin() + 2, rows.end());
  const std::string alone = folder.File("serial.pcap");
  EXPECT_EQ(ExportRows(alone, ExportFormat::Pcap, SourceOf(serialOnly)), std::vector<std::string>{alone});
  EXPECT_EQ(test::ReadCaptureFile(alone).linkType, 147u);
}

}  // namespace
}  // namespace veltra::history
