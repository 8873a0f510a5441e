// The pcap files themselves, read back with libpcap: link types, records,
// exact times, the split by link, Clear, and no half-written file.
#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "capture/frame_recorder.h"
#include "capture_support.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
using test::ReadCaptureFile;
using namespace std::chrono;

constexpr std::uint32_t kNanosecondMagic = 0xA1B23C4D;
const Bytes kRequest{0x55, 0xAA, 0x0C, 0x00, 0x01, 0x01, 0x02, 0x01, 0x00, 0xFF, 0x57, 0xA5};
const Bytes kBroken{0x55, 0xAA, 0x0A, 0x05, 0x80, 0x05, 0x01, 0x03, 0x54, 0x3E};

system_clock::time_point At(std::int64_t seconds, std::int64_t nanoseconds) {
  return system_clock::time_point(duration_cast<system_clock::duration>(std::chrono::seconds(seconds) +
                                                                         std::chrono::nanoseconds(nanoseconds)));
}

FrameTrace Trace(FrameDirection direction, const Bytes& bytes, system_clock::time_point at, LinkEndpoint local,
                 LinkEndpoint remote) {
  return {direction, bytes, at, std::move(local), std::move(remote)};
}

class CaptureFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("veltra-capture-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

std::uint16_t At16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); }

TEST_F(CaptureFileTest, DatagramsBecomeIpv4UdpPacketsWithExactTimesBothWays) {
  CaptureRecorder recorder;
  const LinkEndpoint local{"0.0.0.0", 40002}, remote{"127.0.0.1", 2001};
  recorder.OnFrame(Trace(FrameDirection::Sent, kRequest, At(1'800'000'000, 123'456'789), local, remote));
  recorder.OnFrame(Trace(FrameDirection::Received, kBroken, At(1'800'000'001, 5), local, remote));
  ASSERT_EQ(recorder.Save(Path("udp.pcap")), std::vector<std::string>{Path("udp.pcap")});

  const auto file = ReadCaptureFile(Path("udp.pcap"));
  EXPECT_EQ(file.magic, kNanosecondMagic);
  EXPECT_EQ(file.linkType, 101u);
  ASSERT_EQ(file.records.size(), 2u);
  EXPECT_EQ(file.records[0].seconds, 1'800'000'000);
  EXPECT_EQ(file.records[0].nanoseconds, 123'456'789);
  EXPECT_EQ(file.records[1].nanoseconds, 5);

  const Bytes& sent = file.records[0].bytes;
  ASSERT_EQ(sent.size(), 28 + kRequest.size());
  EXPECT_EQ(sent[0], 0x45);
  EXPECT_EQ(sent[9], 17);
  EXPECT_EQ(At16(sent, 2), sent.size());
  // The socket is bound to every address; the packet names the one the
  // system uses towards the bus switch.
  EXPECT_EQ(Bytes(sent.begin() + 12, sent.begin() + 20), (Bytes{127, 0, 0, 1, 127, 0, 0, 1}));
  EXPECT_EQ(At16(sent, 20), 40002);
  EXPECT_EQ(At16(sent, 22), 2001);
  EXPECT_EQ(At16(sent, 24), 8 + kRequest.size());
  EXPECT_EQ(Bytes(sent.begin() + 28, sent.end()), kRequest);

  // A frame the decoder rejects (bad checksum) is captured as it came.
  const Bytes& received = file.records[1].bytes;
  EXPECT_EQ(At16(received, 20), 2001);
  EXPECT_EQ(At16(received, 22), 40002);
  EXPECT_EQ(Bytes(received.begin() + 28, received.end()), kBroken);
}

TEST_F(CaptureFileTest, SerialFramesCarryTheirDirectionByte) {
  CaptureStream stream(Path("serial.pcap"), CaptureLinkType::Serial);
  stream.OnFrame(Trace(FrameDirection::Sent, kRequest, At(10, 1), {"/dev/pts/3", 0}, {}));
  stream.OnFrame(Trace(FrameDirection::Received, kBroken, At(10, 2), {"/dev/pts/3", 0}, {}));
  // A datagram is not the serial file's: left out.
  stream.OnFrame(Trace(FrameDirection::Sent, kRequest, At(10, 3), {"0.0.0.0", 2002}, {"127.0.0.1", 2001}));
  stream.Finish();

  const auto file = ReadCaptureFile(Path("serial.pcap"));
  EXPECT_EQ(file.linkType, 147u);
  ASSERT_EQ(file.records.size(), 2u);
  Bytes sent{kSerialSentByte}, received{kSerialReceivedByte};
  sent.insert(sent.end(), kRequest.begin(), kRequest.end());
  received.insert(received.end(), kBroken.begin(), kBroken.end());
  EXPECT_EQ(file.records[0].bytes, sent);
  EXPECT_EQ(file.records[1].bytes, received);
  EXPECT_EQ(Files(), std::vector<std::string>{"serial.pcap"});
}

// A stream is its file from the start: a valid capture at once, every frame
// in it within the flush interval, also while the program keeps running.
TEST_F(CaptureFileTest, AStreamIsOnDiskUnderItsNameWithinTheFlushInterval) {
  CaptureStream stream(Path("live.pcap"), CaptureLinkType::Serial, std::chrono::milliseconds(20));
  EXPECT_TRUE(ReadCaptureFile(Path("live.pcap")).records.empty()) << "the header alone";
  stream.OnFrame(Trace(FrameDirection::Sent, kRequest, At(10, 1), {"/dev/pts/3", 0}, {}));
  stream.OnFrame(Trace(FrameDirection::Received, kBroken, At(10, 2), {"/dev/pts/3", 0}, {}));
  std::size_t seen = 0;
  for (int i = 0; i < 500 && seen < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = ReadCaptureFile(Path("live.pcap")).records.size();
  }
  EXPECT_EQ(seen, 2u) << "flushed without Finish";
  stream.Finish();
  EXPECT_EQ(ReadCaptureFile(Path("live.pcap")).records.size(), 2u);
  EXPECT_EQ(Files(), std::vector<std::string>{"live.pcap"});
}

TEST_F(CaptureFileTest, ClearedFramesAreGoneAndBothLinksGetAFileEach) {
  CaptureRecorder recorder;
  const LinkEndpoint udpLocal{"127.0.0.1", 2002}, udpRemote{"127.0.0.1", 2001}, line{"/dev/pts/3", 0};
  recorder.OnFrame(Trace(FrameDirection::Sent, kRequest, At(1, 0), udpLocal, udpRemote));
  recorder.Clear();
  EXPECT_EQ(recorder.Save(Path("empty.pcap")), std::vector<std::string>{Path("empty.pcap")});
  EXPECT_TRUE(ReadCaptureFile(Path("empty.pcap")).records.empty());
  recorder.OnFrame(Trace(FrameDirection::Sent, kRequest, At(2, 0), line, {}));
  recorder.OnFrame(Trace(FrameDirection::Received, kBroken, At(3, 0), udpLocal, udpRemote));

  const auto written = recorder.Save(Path("both.pcap"));
  EXPECT_EQ(written, (std::vector<std::string>{Path("both.pcap"), Path("both-serial.pcap")}));
  const auto udp = ReadCaptureFile(Path("both.pcap"));
  const auto serial = ReadCaptureFile(Path("both-serial.pcap"));
  ASSERT_EQ(udp.records.size(), 1u);
  EXPECT_EQ(udp.records[0].seconds, 3);
  ASSERT_EQ(serial.records.size(), 1u);
  EXPECT_EQ(serial.records[0].seconds, 2);
  EXPECT_EQ(Files(), (std::vector<std::string>{"both-serial.pcap", "both.pcap", "empty.pcap"}));

  EXPECT_EQ(SerialCompanionPath("a.b/capture"), "a.b/capture-serial");
  EXPECT_EQ(SerialCompanionPath(".hidden"), ".hidden-serial");
}

TEST_F(CaptureFileTest, NothingIsLeftUnderTheNameUntilCompleteAndNothingAtAllWhenAbandoned) {
  {
    PcapFileWriter writer(Path("cap.pcap"), CaptureLinkType::Ipv4);
    writer.Write(At(1, 0), Bytes(30, 0));
    EXPECT_FALSE(fs::exists(Path("cap.pcap")));
    EXPECT_EQ(Files().size(), 1u);  // the temporary file beside it
  }
  EXPECT_TRUE(Files().empty());

  // An existing capture is replaced only by a complete one.
  fs::path old = Path("cap.pcap");
  { std::ofstream(old) << "old"; }
  {
    PcapFileWriter writer(old.string(), CaptureLinkType::Serial);
  }
  EXPECT_EQ(fs::file_size(old), 3u);

  EXPECT_THROW(PcapFileWriter(Path("missing/cap.pcap"), CaptureLinkType::Ipv4), CaptureError);
  EXPECT_THROW(CaptureStream(Path("missing/cap.pcap"), CaptureLinkType::Serial), CaptureError);
}

}  // namespace
}  // namespace veltra
