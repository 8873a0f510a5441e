#pragma once
// Records as the links' observers make them, and a scratch folder for
// history files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../support/catalogue_frames.h"
#include "history/frame_record.h"
#include "sim/sim_bus.h"

namespace veltra::test {

// A folder of its own for each test, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("veltra-history-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const LinkEndpoint kSerialPeer{"/dev/ttyUSB0", 0};
inline const LinkEndpoint kUdpPeer{"127.0.0.1", 2001};
inline const LineTiming kLine9600{9600, 10};

// The record of one observation at timeUs.
inline history::FrameRecord Observed(ObservedKind kind, const Bytes& bytes, std::int64_t timeUs,
                                     FrameForm form = FrameForm::Direct,
                                     std::optional<std::chrono::microseconds> roundTrip = std::nullopt,
                                     std::size_t skipped = 0) {
  ObservedFrame f;
  f.kind = kind;
  f.bytes = bytes;
  f.at = std::chrono::system_clock::time_point(std::chrono::microseconds(timeUs));
  f.form = form;
  if (roundTrip) f.roundTrip = *roundTrip;
  f.skippedBytes = skipped;
  return history::RecordOf(f);
}

inline Bytes LightOn(int address, int output, FrameForm form = FrameForm::Direct) {
  return RequestFrame(RequestId::LightOn, {{"ADDR", address}, {"OUTPUT", output}}, {form, 1});
}
inline Bytes LightReply(int address, int status, FrameForm form = FrameForm::Direct) {
  return BuildReplyFrame(form, 1, address, 0x82, 1, status, {});
}

}  // namespace veltra::test
