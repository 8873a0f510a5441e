// The Wireshark dissector (tools/wireshark/veltra.lua) run by tshark over
// captures that veltra-cli makes against the simulated bus, over UDP and
// over a pseudo-terminal. Every field tshark shows is compared with what the
// console makes of the same bytes: the decoder's reading of each reply, the
// frame layout of each request, and the values the request was built from.
//
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "capture/pcap_file.h"
#include "capture_support.h"
#include "tshark_support.h"
#include "cli/cli_app.h"
#include "link/link.h"
#include "protocol/frame.h"
#include "replies/reply_decoder.h"
#include "sim/frame_describe.h"
#include "sim/simulator_runtime.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
using test::Tshark;
using Row = std::map<std::string, std::string>;

const std::vector<std::string> kFields{
    "veltra.direction",   "veltra.form",          "veltra.subnet",         "veltra.address",
    "veltra.class",       "veltra.command",       "veltra.command_name",   "veltra.status",
    "veltra.status_word", "veltra.checksum.ok",   "veltra.module_address", "veltra.module_type",
    "veltra.version",     "veltra.output_state",  "veltra.switch.subnet",  "veltra.switch.ip",
    "veltra.switch.port", "veltra.switch.mask",   "veltra.switch.gateway", "veltra.switch.server_ip",
    "veltra.switch.server_port", "veltra.switch.mac", "veltra.output",     "veltra.turn_on_time",
    "veltra.travel_time", "veltra.scene",         "veltra.channel",        "veltra.input",
    "veltra.mode",        "veltra.target_class",  "veltra.target_command", "veltra.target_address",
    "veltra.target_output", "veltra.parameter",   "veltra.ir_code",        "veltra.new_address",
    "ip.checksum.status", "udp.checksum.status"};

// One row of fields per packet, every occurrence joined by commas.
std::vector<Row> Fields(const std::string& file) {
  std::string arguments = "-o ip.check_checksum:TRUE -o udp.check_checksum:TRUE -T fields -E separator=/t "
                          "-E occurrence=a -E aggregator=,";
  for (const std::string& field : kFields) arguments += " -e " + field;
  std::vector<Row> rows;
  std::istringstream lines(Tshark(file, arguments));
  for (std::string line; std::getline(lines, line);) {
    Row row;
    std::istringstream cells(line);
    std::string cell;
    for (const std::string& field : kFields) {
      std::getline(cells, cell, '\t');
      row[field] = cell;
      cell.clear();
    }
    rows.push_back(row);
  }
  return rows;
}

// One veltra-cli run: its arguments after the link options, the form the
// console builds its request in on that link, and parameter fields the
// request must show.
struct Step {
  std::vector<std::string> args;
  FrameForm requestForm;
  Row request;
};

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", value);
  return text;
}

std::string Dotted(const BusSwitchRecord& r, std::size_t at) {
  return std::to_string(r[at]) + "." + std::to_string(r[at + 1]) + "." + std::to_string(r[at + 2]) + "." +
         std::to_string(r[at + 3]);
}

// What the console makes of a frame, in the dissector's fields.
Row Expected(const Bytes& frame, bool sent, FrameForm form, const Row& requestFields) {
  const int at = AddressOffset(form);
  Row row;
  row["veltra.form"] = form == FrameForm::Routed ? "routed" : "direct";
  if (form == FrameForm::Routed) row["veltra.subnet"] = std::to_string(frame[3] << 8 | frame[4]);
  row["veltra.address"] = std::to_string(frame[at]);
  row["veltra.class"] = Hex2(frame[at + 1]);
  row["veltra.command"] = std::to_string(frame[at + 2]);
  row["veltra.command_name"] = DescribeCommand(frame[at + 1] & 0x7F, frame[at + 2]);
  row["veltra.checksum.ok"] = "1";
  if (sent) {
    for (const auto& [field, value] : requestFields) row[field] = value;
    return row;
  }
  const DecodedReply decoded = form == FrameForm::Routed ? DecodeRouted(frame.data(), frame.size(), false)
                                                         : DecodeDirect(frame.data(), frame.size(), false);
  if (!decoded.logLine) {
    ADD_FAILURE() << "the console rejected a reply of the simulated bus";
    return row;
  }
  row["veltra.status"] = std::to_string(frame[at + 3]);
  // The log line ends in two blanks and the status word.
  const std::string& line = *decoded.logLine;
  row["veltra.status_word"] = line.substr(line.rfind("  ") + 2);
  switch (decoded.effect) {
    case ReplyEffect::StatusBytes: {
      std::string states;
      for (std::size_t i = 0; i < decoded.statusBits.size(); ++i)
        states += (i ? "," : "") + Hex2(frame[at + 5 + static_cast<int>(i)]);
      row["veltra.output_state"] = states;
      for (std::size_t i = 0; i < decoded.statusBits.size(); ++i)
        EXPECT_EQ(decoded.statusBits[i], (frame[at + 5 + static_cast<int>(i)] & 1) != 0);
      break;
    }
    case ReplyEffect::ModuleAddress:
      row["veltra.module_address"] = std::to_string(decoded.moduleAddress);
      break;
    case ReplyEffect::ModuleType: {
      std::string lower = decoded.text;
      for (char& c : lower) c = static_cast<char>(std::tolower(c));
      row["veltra.module_type"] = "0x" + lower;
      break;
    }
    case ReplyEffect::Version:
      row["veltra.version"] = decoded.text;
      break;
    case ReplyEffect::BusSwitchConfig: {
      const BusSwitchRecord& r = decoded.busSwitchRecord;
      char mac[32];
      std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", r[22], r[23], r[24], r[25], r[26], r[27]);
      row["veltra.switch.subnet"] = std::to_string(r[0] << 8 | r[1]);
      row["veltra.switch.ip"] = Dotted(r, 2);
      row["veltra.switch.port"] = std::to_string(r[6] << 8 | r[7]);
      row["veltra.switch.mask"] = Dotted(r, 8);
      row["veltra.switch.gateway"] = Dotted(r, 12);
      row["veltra.switch.server_ip"] = Dotted(r, 16);
      row["veltra.switch.server_port"] = std::to_string(r[20] << 8 | r[21]);
      row["veltra.switch.mac"] = mac;
      break;
    }
    default:
      break;
  }
  return row;
}

class WiresharkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("veltra-wireshark-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs each step with its own capture and joins the captures in order.
  std::string Capture(const std::vector<std::string>& link, const std::vector<Step>& steps) {
    std::vector<std::string> files;
    for (const Step& step : steps) {
      files.push_back((dir_ / ("step" + std::to_string(files.size()) + ".pcap")).string());
      std::vector<std::string> args = link;
      args.insert(args.end(), {"--capture", files.back()});
      args.insert(args.end(), step.args.begin(), step.args.end());
      std::ostringstream out, err;
      cli::Run(args, {out, err});
      EXPECT_TRUE(fs::exists(files.back())) << err.str();
    }
    const std::string all = (dir_ / "all.pcap").string();
    test::MergeCaptureFiles(files, all);
    return all;
  }

  // Compares tshark's rows with the console's reading of each captured
  // frame; serial records hold a direction byte, datagrams an IPv4/UDP
  // header. Returns the number of replies whose Status is not 1.
  int Compare(const std::string& file, bool serial, int busSwitchPort, const std::vector<Step>& steps) {
    const auto records = test::ReadCaptureFile(file).records;
    const auto rows = Fields(file);
    EXPECT_EQ(rows.size(), records.size());
    int failed = 0;
    std::size_t step = 0;
    for (std::size_t i = 0; i < records.size() && i < rows.size(); ++i) {
      const Bytes& record = records[i].bytes;
      bool sent;
      Bytes frame;
      if (serial) {
        sent = record[0] == 0;
        frame.assign(record.begin() + 1, record.end());
      } else {
        sent = (record[22] << 8 | record[23]) == busSwitchPort;
        frame.assign(record.begin() + 28, record.end());
        EXPECT_EQ(rows[i].at("ip.checksum.status"), "1");
        EXPECT_EQ(rows[i].at("udp.checksum.status"), "1");
      }
      // Requests open a step; its reply, if any, follows.
      if (sent && i > 0) ++step;
      if (step >= steps.size()) {
        ADD_FAILURE() << "more requests captured than were made";
        break;
      }
      const FrameForm linkForm = serial ? FrameForm::Direct : FrameForm::Routed;
      Row expected = Expected(frame, sent, sent ? steps[step].requestForm : linkForm, steps[step].request);
      if (serial) expected["veltra.direction"] = sent ? "0" : "1";
      if (!sent && expected["veltra.status"] != "1") ++failed;
      for (const std::string& field : kFields) {
        if (field.rfind("veltra.", 0) != 0) continue;
        const auto want = expected.find(field);
        EXPECT_EQ(rows[i].at(field), want == expected.end() ? "" : want->second)
            << field << " in packet " << i + 1 << " (step: " << steps[step].args[0] << " "
            << (steps[step].args.size() > 1 ? steps[step].args[1] : "") << ")";
      }
    }
    return failed;
  }

  fs::path dir_;
};

TEST_F(WiresharkTest, UdpCaptureOfTheToolDissectsAsTheConsoleDecodes) {
  REQUIRE_TSHARK();
  SimulatorOptions options;
  options.pty = false;
  SimulatorRuntime sim(options);
  const int port = sim.UdpPort();
  const FrameForm R = FrameForm::Routed;
  // Any free local port: the datagrams are found by the heuristic, not by
  // the default ports.
  const std::vector<Step> steps{
      {{"read-type", "1"}, R, {}},
      {{"read-version", "2"}, R, {}},
      {{"read-address"}, R, {}},
      {{"light", "on", "1", "3"}, R, {{"veltra.output", "3"}}},
      {{"read-status", "1"}, R, {}},
      {{"light", "set-time", "1", "2", "300"}, R, {{"veltra.output", "2"}, {"veltra.turn_on_time", "300"}}},
      {{"curtain", "set-time", "3", "4", "200"}, R, {{"veltra.output", "4"}, {"veltra.travel_time", "200"}}},
      {{"scene", "set", "1", "7", "1", "0", "X"}, R, {{"veltra.scene", "7"}, {"veltra.channel", "1,0,255"}}},
      // Infrared requests are direct also over UDP; code 9 was never learned.
      {{"ir", "send", "4", "9"}, FrameForm::Direct, {{"veltra.ir_code", "9"}}},
      {{"input", "bind", "5", "2", "--function", "1", "--target", "1", "--output", "3", "--param", "4"},
       R,
       {{"veltra.input", "2"}, {"veltra.mode", "0"}, {"veltra.target_class", "2"}, {"veltra.target_command", "1"},
        {"veltra.target_address", "1"}, {"veltra.target_output", "3"}, {"veltra.parameter", "4"}}},
      {{"bus-switch", "read"}, R, {}},
      {{"light", "on", "3", "1"}, R, {{"veltra.output", "1"}}},  // a curtain module: Command error
      {{"light", "on", "9", "1"}, R, {{"veltra.output", "1"}}},  // nobody answers
  };
  const std::string file =
      Capture({"--udp", "127.0.0.1:" + std::to_string(port), "--local-port", "0", "--timeout", "300"}, steps);
  const int failed = Compare(file, false, port, steps);
  EXPECT_EQ(failed, 2);

  // The display filter of every failed request finds exactly those.
  EXPECT_EQ(Tshark(file, "-Y 'veltra.status != 1' -T fields -e veltra.command_name"), "SendCode\nOn\n");
}

TEST_F(WiresharkTest, SerialCaptureOfTheToolDissectsAsTheConsoleDecodes) {
  REQUIRE_TSHARK();
  SimulatorOptions options;
  options.udp = false;
  SimulatorRuntime sim(options);
  const FrameForm D = FrameForm::Direct;
  const std::vector<Step> steps{
      {{"read-type", "3"}, D, {}},
      {{"light", "on", "2", "5"}, D, {{"veltra.output", "5"}}},
      {{"read-status", "2"}, D, {}},
      {{"curtain", "set-time", "3", "1", "601"}, D, {{"veltra.output", "1"}, {"veltra.travel_time", "601"}}},
      // A curtain module has no light outputs: Command error.
      {{"light", "on", "3", "1"}, D, {{"veltra.output", "1"}}},
      {{"scene", "clear", "1", "7"}, D, {{"veltra.scene", "7"}}},
      {{"ir", "send", "4", "9"}, D, {{"veltra.ir_code", "9"}}},
      {{"set-address", "12"}, D, {{"veltra.new_address", "12"}}},
      // The bus switch's requests are routed also on a direct line; the
      // dissector reads a direct line's answers direct (unless told by its
      // preference), and so misreads this routed one.
      {{"bus-switch", "read"}, FrameForm::Routed, {}},
  };
  const std::string file = Capture({"--serial", sim.PtySlavePath(), "--timeout", "300"}, steps);
  // The light on a curtain module, the infrared code and the misread bus
  // switch answer.
  EXPECT_EQ(Compare(file, true, 0, steps), 3);
}

TEST_F(WiresharkTest, ABadChecksumIsCapturedAndShowsTheExpertWarning) {
  REQUIRE_TSHARK();
  SimulatorOptions options;
  options.udp = false;
  options.faults.garbageEvery = 1;  // the first garbage is the reply with its checksum broken
  SimulatorRuntime sim(options);
  const std::string file = Capture({"--serial", sim.PtySlavePath(), "--timeout", "300"}, {{{"read-type", "1"}, FrameForm::Direct, {}}});

  const auto records = test::ReadCaptureFile(file).records;
  ASSERT_EQ(records.size(), 2u);
  const Bytes reply(records[1].bytes.begin() + 1, records[1].bytes.end());
  EXPECT_FALSE(DecodeDirect(reply.data(), reply.size(), false).logLine) << "the console takes the frame";

  EXPECT_EQ(Tshark(file, "-Y veltra.checksum.bad -T fields -e frame.number -e veltra.command_name"),
            "2\tReadModuleType\n");
  EXPECT_NE(Tshark(file, "-Y veltra.checksum.bad -V").find("Checksum does not hold"), std::string::npos);
}

TEST_F(WiresharkTest, ASerialChunkIsCutIntoItsFramesAndMonitorModeReadsThemRouted) {
  REQUIRE_TSHARK();
  const std::string file = (dir_ / "chunks.pcap").string();
  {
    PcapFileWriter writer(file, CaptureLinkType::Serial);
    // Two direct ReadAddress replies back to back, then noise.
    Bytes chunk{kSerialReceivedByte, 0x55, 0xAA, 0x0A, 0x05, 0x80, 0x05, 0x01, 0x03, 0x54, 0x3D,
                0x55, 0xAA, 0x0A, 0x06, 0x80, 0x05, 0x01, 0x04, 0x54, 0x33, 0x00, 0x13};
    writer.Write(std::chrono::system_clock::now(), chunk);
    // A routed request sent in monitor mode (Subnet ID 1).
    Bytes routed{kSerialSentByte, 0x55, 0xAA, 0x0C, 0x00, 0x01, 0x01, 0x02, 0x01, 0x00, 0xFF, 0x57, 0xA5};
    writer.Write(std::chrono::system_clock::now(), routed);
    writer.Commit();
  }
  const std::string fields = "-T fields -E occurrence=a -E aggregator=, -e veltra.form -e veltra.address "
                             "-e veltra.module_address -e veltra.command_name -e veltra.checksum.ok -e veltra.not_frame";
  EXPECT_EQ(Tshark(file, fields),
            "direct,direct\t5,6\t3,4\tReadAddress,ReadAddress\t1,1\t0013\n"
            "direct\t0\t\tOpen\t1\t\n");
  EXPECT_EQ(Tshark(file, "-o veltra.serial_routed:TRUE -Y 'frame.number == 2' " + fields),
            "routed\t1\t\tOn\t1\t\n");
}

}  // namespace
}  // namespace veltra
