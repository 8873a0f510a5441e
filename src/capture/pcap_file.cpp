#include "capture/pcap_file.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace veltra {
namespace {

constexpr int kSnapLength = 65535;

std::string SystemReason() { return std::strerror(errno); }

// libpcap takes its own DLT_ numbers and writes the file's LINKTYPE_ ones
// (DLT_RAW differs between systems; LINKTYPE_RAW is 101 everywhere).
int DataLinkType(CaptureLinkType type) { return type == CaptureLinkType::Ipv4 ? DLT_RAW : DLT_USER0; }

}  // namespace

PcapFileWriter::PcapFileWriter(const std::string& path, CaptureLinkType type, Placement placement)
    : path_(path), type_(type) {
  int fd = -1;
  if (placement == Placement::InPlace) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw CaptureError("cannot write the capture " + path + ": " + SystemReason());
  } else {
    std::vector<char> name(path.begin(), path.end());
    const std::string suffix = ".partial-XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    fd = ::mkstemp(name.data());
    if (fd < 0) throw CaptureError("cannot write the capture " + path + ": " + SystemReason());
    temporary_ = name.data();
    // mkstemp makes the file private; a capture is a document like any other.
    ::fchmod(fd, 0644);
  }
  FILE* file = ::fdopen(fd, "wb");
  pcap_ = pcap_open_dead_with_tstamp_precision(DataLinkType(type), kSnapLength, PCAP_TSTAMP_PRECISION_NANO);
  if (file) dumper_ = pcap_ ? pcap_dump_fopen(pcap_, file) : nullptr;
  if (!dumper_) {
    const std::string reason = pcap_ ? pcap_geterr(pcap_) : "libpcap failed";
    if (file) {
      std::fclose(file);
    } else {
      ::close(fd);
    }
    Discard();
    throw CaptureError("cannot write the capture " + path + ": " + reason);
  }
}

PcapFileWriter::~PcapFileWriter() { Discard(); }

void PcapFileWriter::Write(std::chrono::system_clock::time_point at, std::span<const std::uint8_t> record) {
  if (!dumper_) return;
  const auto since = at.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  pcap_pkthdr header{};
  header.ts.tv_sec = static_cast<time_t>(seconds.count());
  // With nanosecond precision libpcap writes this field as nanoseconds.
  header.ts.tv_usec = static_cast<suseconds_t>(std::chrono::nanoseconds(since - seconds).count());
  header.caplen = header.len = static_cast<bpf_u_int32>(record.size());
  pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, record.data());
}

void PcapFileWriter::Flush() {
  if (!dumper_) return;
  if (pcap_dump_flush(dumper_) != 0) throw CaptureError("cannot write the capture " + path_ + ": " + SystemReason());
}

void PcapFileWriter::Commit() {
  if (!dumper_) throw CaptureError("the capture " + path_ + " was not written");
  FILE* file = pcap_dump_file(dumper_);
  const bool written = std::fflush(file) == 0 && !std::ferror(file) && ::fsync(::fileno(file)) == 0;
  const std::string reason = written ? std::string() : SystemReason();
  pcap_dump_close(dumper_);
  dumper_ = nullptr;
  if (!written) {
    Discard();
    throw CaptureError("cannot write the capture " + path_ + ": " + reason);
  }
  if (!temporary_.empty() && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const std::string renameReason = SystemReason();
    Discard();
    throw CaptureError("cannot write the capture " + path_ + ": " + renameReason);
  }
  temporary_.clear();
  Discard();
}

void PcapFileWriter::Discard() {
  if (dumper_) pcap_dump_close(dumper_);
  dumper_ = nullptr;
  if (pcap_) pcap_close(pcap_);
  pcap_ = nullptr;
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

}  // namespace veltra
