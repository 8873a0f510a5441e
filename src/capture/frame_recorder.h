#pragma once
// Captures of the frames that cross the links, as FrameTaps.
//
// CaptureRecorder keeps every frame in memory until it is cleared, to be
// saved at any time (the window: since start or since the log was cleared).
// CaptureStream writes each frame to its file as it passes (the tool, whose
// listening may run for hours), under the file's own name from the start,
// hands it to the system at least once per flush interval (a killed program
// keeps all but the last moments) and finishes the file at Finish.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_packet.h"
#include "capture/pcap_file.h"
#include "link/link.h"

namespace veltra {

// One frame as it crossed its link, kept.
struct CapturedFrame {
  FrameDirection direction = FrameDirection::Sent;
  Bytes bytes;
  std::chrono::system_clock::time_point at;
  LinkEndpoint local;
  LinkEndpoint remote;
};

class CaptureRecorder final : public FrameTap {
 public:
  void OnFrame(const FrameTrace& frame) override;
  // Forgets what was recorded; recording goes on.
  void Clear();
  std::vector<CapturedFrame> Frames() const;

  // Writes the frames recorded so far to path. A pcap file holds one link
  // type: when frames of both links were recorded, the serial ones go to a
  // second file (SerialCompanionPath). Nothing recorded gives an empty
  // capture. Returns the files written. Throws CaptureError.
  std::vector<std::string> Save(const std::string& path) const;

 private:
  mutable std::mutex mutex_;
  std::vector<CapturedFrame> frames_;
};

// "dir/name-serial.pcap" beside "dir/name.pcap".
std::string SerialCompanionPath(const std::string& path);

// Writes frames to a file of one link type; frames of the other link are
// not its own and are left out.
class CaptureStream final : public FrameTap {
 public:
  static constexpr std::chrono::milliseconds kFlushInterval{500};
  // Throws CaptureError when the file cannot be created.
  CaptureStream(const std::string& path, CaptureLinkType type, std::chrono::milliseconds flushInterval = kFlushInterval);
  ~CaptureStream() override;
  void OnFrame(const FrameTrace& frame) override;
  // Writes out what waits and closes the file. Throws CaptureError (also
  // for a flush that failed on the way).
  void Finish();

 private:
  void FlushLoop(std::chrono::milliseconds interval);
  void StopFlushing();

  std::mutex mutex_;
  PcapFileWriter writer_;
  CapturePacketMaker maker_;
  bool dirty_ = false;     // frames written since the last flush
  bool stopping_ = false;
  std::string flushError_;  // the first failed flush
  std::condition_variable wake_;
  std::thread flusher_;
};

}  // namespace veltra
