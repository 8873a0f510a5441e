#pragma once
// Reads pcap files back with libpcap, as a reader of the captures would.
#include <pcap/pcap.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltra::test {

struct CaptureRecord {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  std::vector<std::uint8_t> bytes;
};

struct CaptureFileContents {
  std::uint32_t magic = 0;     // 0xA1B23C4D: nanosecond timestamps
  std::uint32_t linkType = 0;  // LINKTYPE_ as stored in the file
  std::vector<CaptureRecord> records;
};

inline CaptureFileContents ReadCaptureFile(const std::string& path) {
  CaptureFileContents contents;
  std::ifstream raw(path, std::ios::binary);
  char header[24] = {};
  if (!raw.read(header, sizeof header)) throw std::runtime_error("no pcap header in " + path);
  std::memcpy(&contents.magic, header, 4);
  std::memcpy(&contents.linkType, header + 20, 4);

  char error[PCAP_ERRBUF_SIZE] = {};
  pcap_t* pcap = pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, error);
  if (!pcap) throw std::runtime_error(error);
  pcap_pkthdr* h = nullptr;
  const u_char* data = nullptr;
  while (pcap_next_ex(pcap, &h, &data) == 1)
    contents.records.push_back({h->ts.tv_sec, h->ts.tv_usec, std::vector<std::uint8_t>(data, data + h->caplen)});
  pcap_close(pcap);
  return contents;
}

// Concatenates captures of one link type into one file.
inline void MergeCaptureFiles(const std::vector<std::string>& inputs, const std::string& output) {
  char error[PCAP_ERRBUF_SIZE] = {};
  pcap_t* out = nullptr;
  pcap_dumper_t* dumper = nullptr;
  for (const std::string& input : inputs) {
    pcap_t* in = pcap_open_offline_with_tstamp_precision(input.c_str(), PCAP_TSTAMP_PRECISION_NANO, error);
    if (!in) throw std::runtime_error(error);
    if (!out) {
      out = pcap_open_dead_with_tstamp_precision(pcap_datalink(in), 65535, PCAP_TSTAMP_PRECISION_NANO);
      dumper = pcap_dump_open(out, output.c_str());
      if (!dumper) throw std::runtime_error(pcap_geterr(out));
    }
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(in, &h, &data) == 1) pcap_dump(reinterpret_cast<u_char*>(dumper), h, data);
    pcap_close(in);
  }
  if (dumper) pcap_dump_close(dumper);
  if (out) pcap_close(out);
}

}  // namespace veltra::test
