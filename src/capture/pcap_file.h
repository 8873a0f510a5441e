#pragma once
// A pcap file written with libpcap, with nanosecond timestamps. A file saved
// whole is written under a temporary name beside its final one and renamed
// only when complete, so an interrupted save never leaves half a file under
// the name the user gave. A streamed file is written under its name from the
// start, to be read while it grows and to keep what was flushed when the
// program is killed.
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
  enum class Placement {
    Temporary,  // beside the final name until Commit
    InPlace,    // under the final name from the start (streamed)
  };
  // Creates the file. Throws CaptureError.
  PcapFileWriter(const std::string& path, CaptureLinkType type, Placement placement = Placement::Temporary);
  // Removes a temporary file unless Commit has renamed it; closes a file in
  // place as it stands.
  ~PcapFileWriter();
  PcapFileWriter(const PcapFileWriter&) = delete;
  PcapFileWriter& operator=(const PcapFileWriter&) = delete;

  CaptureLinkType Type() const { return type_; }
  void Write(std::chrono::system_clock::time_point at, std::span<const std::uint8_t> record);
  // Hands what was written to the system, so that it survives the program.
  // Throws CaptureError.
  void Flush();
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
