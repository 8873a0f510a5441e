#pragma once
// A pcap file written with libpcap, with nanosecond timestamps. It is
// written under a temporary name beside its final one and renamed only when
// complete, so an interrupted capture never leaves half a file under the
// name the user gave.
#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "capture/capture_packet.h"

struct pcap;
struct pcap_dumper;

namespace veltra {

class CaptureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PcapFileWriter {
 public:
  // Creates the temporary file. Throws CaptureError.
  PcapFileWriter(const std::string& path, CaptureLinkType type);
  // Removes the temporary file unless Commit has renamed it.
  ~PcapFileWriter();
  PcapFileWriter(const PcapFileWriter&) = delete;
  PcapFileWriter& operator=(const PcapFileWriter&) = delete;

  CaptureLinkType Type() const { return type_; }
  void Write(std::chrono::system_clock::time_point at, std::span<const std::uint8_t> record);
  // Closes the file and gives it its final name. Throws CaptureError (a full
  // disk, a folder that cannot be written); the temporary file is removed.
  void Commit();

 private:
  void Discard();

  std::string path_;
  std::string temporary_;
  CaptureLinkType type_;
  pcap* pcap_ = nullptr;
  pcap_dumper* dumper_ = nullptr;
};

}  // namespace veltra
