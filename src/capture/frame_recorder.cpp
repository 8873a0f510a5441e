#include "capture/frame_recorder.h"

namespace veltra {

void CaptureRecorder::OnFrame(const FrameTrace& frame) {
  CapturedFrame kept{frame.direction, Bytes(frame.bytes.begin(), frame.bytes.end()), frame.at, frame.local,
                     frame.remote};
  std::lock_guard lock(mutex_);
  frames_.push_back(std::move(kept));
}

void CaptureRecorder::Clear() {
  std::lock_guard lock(mutex_);
  frames_.clear();
}

std::vector<CapturedFrame> CaptureRecorder::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::string SerialCompanionPath(const std::string& path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  if (!hasExtension) return path + "-serial";
  return path.substr(0, dot) + "-serial" + path.substr(dot);
}

std::vector<std::string> CaptureRecorder::Save(const std::string& path) const {
  const std::vector<CapturedFrame> frames = Frames();
  bool udp = false, serial = false;
  for (const CapturedFrame& f : frames) (LinkTypeOf(f.remote) == CaptureLinkType::Ipv4 ? udp : serial) = true;

  std::vector<std::unique_ptr<PcapFileWriter>> writers;
  std::vector<std::string> paths;
  if (udp || !serial) {
    writers.push_back(std::make_unique<PcapFileWriter>(path, CaptureLinkType::Ipv4));
    paths.push_back(path);
  }
  if (serial) {
    paths.push_back(writers.empty() ? path : SerialCompanionPath(path));
    writers.push_back(std::make_unique<PcapFileWriter>(paths.back(), CaptureLinkType::Serial));
  }
  CapturePacketMaker maker;
  for (const CapturedFrame& f : frames) {
    const CaptureLinkType type = LinkTypeOf(f.remote);
    PcapFileWriter& writer = *writers[type == CaptureLinkType::Serial && udp ? 1 : 0];
    writer.Write(f.at, maker.Make(f.direction, f.bytes, f.local, f.remote));
  }
  for (auto& writer : writers) writer->Commit();
  return paths;
}

CaptureStream::CaptureStream(const std::string& path, CaptureLinkType type, std::chrono::milliseconds flushInterval)
    : writer_(path, type, PcapFileWriter::Placement::InPlace) {
  // The file header is on disk at once: a reader sees a valid empty capture.
  writer_.Flush();
  flusher_ = std::thread([this, flushInterval] { FlushLoop(flushInterval); });
}

CaptureStream::~CaptureStream() { StopFlushing(); }

void CaptureStream::OnFrame(const FrameTrace& frame) {
  if (LinkTypeOf(frame.remote) != writer_.Type()) return;
  std::lock_guard lock(mutex_);
  writer_.Write(frame.at, maker_.Make(frame.direction, frame.bytes, frame.local, frame.remote));
  dirty_ = true;
}

void CaptureStream::FlushLoop(std::chrono::milliseconds interval) {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, interval, [this] { return stopping_; });
    if (!dirty_) continue;
    dirty_ = false;
    try {
      writer_.Flush();
    } catch (const CaptureError& error) {
      if (flushError_.empty()) flushError_ = error.what();
    }
  }
}

void CaptureStream::StopFlushing() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (flusher_.joinable()) flusher_.join();
}

void CaptureStream::Finish() {
  StopFlushing();
  std::lock_guard lock(mutex_);
  if (!flushError_.empty()) throw CaptureError(flushError_);
  writer_.Commit();
}

}  // namespace veltra
