// The frame describer (what the Bus Monitor and the history show) against
// the Wireshark dissector run by tshark over the same frames: every request
// of the catalogue in both forms, and replies of every kind the dissector
// decodes. For each frame, every field the dissector shows must be what the
// describer read, occurrence by occurrence.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "../support/catalogue_frames.h"
#include "capture/pcap_file.h"
#include "protocol/command_numbers.h"
#include "protocol/frame_description.h"
#include "protocol/scene_commands.h"
#include "tshark_support.h"

namespace veltra {
namespace {
namespace describer_test {

namespace fs = std::filesystem;

// Fields compared apart from the details.
const std::vector<std::string> kHeaderFields{"address", "subnet", "command_name", "status_word", "checksum.ok"};
const std::vector<std::string> kDetailFields{
    "output",        "turn_on_time",  "travel_time",     "travel_time_ms", "new_address",   "scene",
    "channel",       "input",         "mode",            "target_class",   "target_command", "target_address",
    "target_output", "parameter",     "ir_bank",         "ir_code",        "module_address", "module_type",
    "version",       "states_valid",  "output_state",    "switch.subnet",  "switch.ip",      "switch.port",
    "switch.mask",   "switch.gateway", "switch.server_ip", "switch.server_port", "switch.mac", "filler",
    "parameters"};

using Row = std::map<std::string, std::string>;

std::vector<Row> TsharkRows(const std::string& file, const std::string& options) {
  std::vector<std::string> fields = kHeaderFields;
  fields.insert(fields.end(), kDetailFields.begin(), kDetailFields.end());
  std::string arguments = options + " -T fields -E separator=/t -E occurrence=a -E aggregator=,";
  for (const std::string& field : fields) arguments += " -e veltra." + field;
  std::vector<Row> rows;
  std::istringstream lines(test::Tshark(file, arguments));
  for (std::string line; std::getline(lines, line);) {
    Row row;
    std::istringstream cells(line);
    for (const std::string& field : fields) {
      std::string cell;
      std::getline(cells, cell, '\t');
      row[field] = cell;
    }
    rows.push_back(row);
  }
  return rows;
}

// Bytes as the dissector prints them: hex digits with no separators.
std::string Squeezed(std::string text) {
  std::erase_if(text, [](char c) { return c == ' ' || c == ':'; });
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

Row DescribedRow(const Bytes& frame, FrameForm form) {
  const FrameDescription d = DescribeFrame(frame, form);
  Row row;
  row["address"] = std::to_string(d.address);
  row["subnet"] = d.subnet ? std::to_string(*d.subnet) : "";
  row["command_name"] = d.CommandText();
  row["status_word"] = d.StatusText();
  row["checksum.ok"] = d.checksumOk ? "1" : "0";
  for (const std::string& field : kDetailFields) row[field] = "";
  for (const FrameDetail& detail : d.details) {
    std::string& cell = row[std::string(detail.field)];
    cell += (cell.empty() ? "" : ",") + (detail.field == "parameters" ? Squeezed(detail.value) : detail.value);
  }
  return row;
}

struct Sample {
  Bytes frame;
  FrameForm form;
  bool received;
};

Bytes Reply(FrameForm form, int subnet, int address, int cls, int command, const Bytes& payload) {
  Bytes f{kHeader0, kHeader1, 0};
  if (form == FrameForm::Routed) f.insert(f.end(), {static_cast<std::uint8_t>(subnet >> 8), static_cast<std::uint8_t>(subnet)});
  f.insert(f.end(), {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(cls), static_cast<std::uint8_t>(command)});
  f.insert(f.end(), payload.begin(), payload.end());
  f.insert(f.end(), {0, 0});
  f[2] = static_cast<std::uint8_t>(f.size());
  CompleteFrame(f.data());
  return f;
}

// Every request of the catalogue, built for a link of the given form, and
// replies of every kind.
std::vector<Sample> Samples(FrameForm linkForm) {
  namespace sys = system_command;
  std::vector<Sample> samples;
  const Addressing link{linkForm, 3};
  for (const RequestSpec& spec : Requests()) {
    if (spec.id == RequestId::RawFrame) continue;
    RequestValues v;
    for (const FieldSpec& f : spec.fields) v.ints[std::string(f.name)] = f.defaultValue.value_or(f.max);
    if (spec.id == RequestId::BindInput) v.ints["--function"] = 2;
    v.channelItems = {1, 0, kNoChangeItem, 1};
    for (std::size_t i = 0; i < v.record.size(); ++i) v.record[i] = static_cast<std::uint8_t>(7 * i + 1);
    samples.push_back({test::RequestFrame(spec.id, {}, link, v), spec.FormOn(linkForm), false});
  }
  const FrameForm r = linkForm;
  Bytes record(kBusSwitchRecordSize);
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(200 - i);
  Bytes recordReply{1};
  recordReply.insert(recordReply.end(), record.begin(), record.end());
  samples.push_back({Reply(r, 3, 1, 0x80, sys::ReadStatus, {1, 1, 1, 0, 1, 0x11}), r, true});
  samples.push_back({Reply(r, 3, 1, 0x80, sys::ReadStatus, {1, 0, 9, 9}), r, true});
  samples.push_back({Reply(r, 3, 4, 0x80, sys::ReadModuleType, {1, 0x02, 0x08}), r, true});
  samples.push_back({Reply(r, 3, 4, 0x80, sys::ReadVersion, {1, 'L', 'i', 'g', 'h', 't', 0, 'z'}), r, true});
  samples.push_back({Reply(r, 3, 9, 0x80, sys::ReadAddress, {1, 9}), r, true});
  samples.push_back({Reply(r, 3, 2, 0x82, 1, {5}), r, true});
  samples.push_back({Reply(r, 3, 2, 0x80, sys::SetScene, {1}), r, true});
  samples.push_back({Reply(r, 3, 2, 0x86, 3, {1, 0xAA, 0xBB}), r, true});
  if (r == FrameForm::Routed) samples.push_back({Reply(r, 0xFFFF, 255, 0x80, sys::ReadAddress, recordReply), r, true});
  Bytes bad = Reply(r, 3, 1, 0x80, sys::ReadStatus, {1, 1, 0});
  bad.back() ^= 0x5A;
  samples.push_back({bad, r, true});
  return samples;
}

class DescriberAgainstDissector : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("veltra-describer-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Compare(const std::vector<Sample>& samples, const std::vector<Row>& rows) {
    ASSERT_EQ(rows.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const Row expected = DescribedRow(samples[i].frame, samples[i].form);
      const FrameDescription d = DescribeFrame(samples[i].frame, samples[i].form);
      SCOPED_TRACE("frame " + std::to_string(i) + ": " + d.CommandText() + " " + d.DetailsText());
      for (const auto& [field, value] : expected) {
        std::string shown = rows[i].at(field);
        if (field == "parameters") shown = Squeezed(shown);
        EXPECT_EQ(shown, value) << "veltra." << field;
      }
    }
  }

  fs::path dir_;
};

TEST_F(DescriberAgainstDissector, RoutedFramesOverUdp) {
  REQUIRE_TSHARK();
  const std::vector<Sample> samples = Samples(FrameForm::Routed);
  const std::string file = (dir_ / "udp.pcap").string();
  PcapFileWriter writer(file, CaptureLinkType::Ipv4);
  std::uint16_t id = 1;
  const std::uint32_t loopback = ParseIpv4Address("127.0.0.1");
  for (const Sample& s : samples)
    writer.Write(std::chrono::system_clock::now(),
                 s.received ? Ipv4UdpPacket(s.frame, loopback, 2001, loopback, 2002, id++)
                            : Ipv4UdpPacket(s.frame, loopback, 2002, loopback, 2001, id++));
  writer.Commit();
  Compare(samples, TsharkRows(file, ""));
}

TEST_F(DescriberAgainstDissector, DirectFramesOnTheSerialLine) {
  REQUIRE_TSHARK();
  const std::vector<Sample> samples = Samples(FrameForm::Direct);
  const std::string file = (dir_ / "serial.pcap").string();
  PcapFileWriter writer(file, CaptureLinkType::Serial);
  for (const Sample& s : samples)
    writer.Write(std::chrono::system_clock::now(),
                 SerialRecord(s.received ? FrameDirection::Received : FrameDirection::Sent, s.frame));
  writer.Commit();
  Compare(samples, TsharkRows(file, ""));
}

}  // namespace describer_test
}  // namespace
}  // namespace veltra
