#include "history/history_export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "capture/frame_recorder.h"
#include "capture/pcap_file.h"
#include "protocol/frame_description.h"
#include "protocol/log_format.h"

namespace veltra::history {
namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string RoundTripMs(std::int64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", us / 1000.0);
  return text;
}

std::string Hex(const FrameRecord& r) { return HexBytes(r.bytes.data(), static_cast<int>(r.bytes.size())); }

// The flags in words, one by one.
std::vector<std::string> FlagWords(const FrameRecord& r) {
  std::vector<std::string> words;
  const std::string text = FlagsText(r);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t comma = text.find(", ", at);
    words.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 2;
  }
  return words;
}

// A text file written under a temporary name beside its own, renamed when
// complete.
class TextFile {
 public:
  explicit TextFile(const std::string& path) : path_(path) {
    std::vector<char> name(path.begin(), path.end());
    const std::string suffix = ".partial-XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    ::fchmod(fd, 0644);  // mkstemp makes it private; an export is a document like any other
    ::close(fd);
    temporary_ = name.data();
    out_.open(temporary_, std::ios::binary | std::ios::trunc);
  }
  ~TextFile() {
    if (!temporary_.empty()) std::remove(temporary_.c_str());
  }
  std::ofstream& Out() { return out_; }
  void Commit() {
    out_.close();
    if (!out_ || std::rename(temporary_.c_str(), path_.c_str()) != 0)
      throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
    temporary_.clear();
  }

 private:
  std::string path_;
  std::string temporary_;
  std::ofstream out_;
};

std::vector<std::string> ExportPcap(const std::string& path, const RowSource& rows) {
  bool udp = false, serial = false;
  rows([&](const FrameRecord& r, const LinkInfo& link) {
    if (r.bytes.empty() || r.kind == ObservedKind::NoReply) return;
    (link.serial ? serial : udp) = true;
  });
  std::unique_ptr<PcapFileWriter> udpFile, serialFile;
  std::vector<std::string> paths;
  if (udp || !serial) {
    udpFile = std::make_unique<PcapFileWriter>(path, CaptureLinkType::Ipv4);
    paths.push_back(path);
  }
  if (serial) {
    paths.push_back(udp ? SerialCompanionPath(path) : path);
    serialFile = std::make_unique<PcapFileWriter>(paths.back(), CaptureLinkType::Serial);
  }
  CapturePacketMaker maker;
  rows([&](const FrameRecord& r, const LinkInfo& link) {
    if (r.bytes.empty() || r.kind == ObservedKind::NoReply) return;
    const FrameDirection direction = DirectionOf(r.kind) == Direction::Sent ? FrameDirection::Sent : FrameDirection::Received;
    const LinkEndpoint remote{link.address, link.port};
    // The console's own port is not kept: its default stands in.
    const LinkEndpoint local = link.serial ? remote : LinkEndpoint{"0.0.0.0", 2002};
    const auto at = std::chrono::system_clock::time_point(std::chrono::microseconds(r.timeUs));
    (link.serial ? *serialFile : *udpFile).Write(at, maker.Make(direction, r.bytes, local, remote));
  });
  if (udpFile) udpFile->Commit();
  if (serialFile) serialFile->Commit();
  return paths;
}

}  // namespace

std::string CsvHeader() { return "time,link,direction,subnet,address,command,status,details,round_trip_ms,flags,bytes"; }

std::string CsvLine(const FrameRecord& r, const LinkInfo& link) {
  const RowTexts t = TextsOf(r, link);
  std::string line = IsoTimeText(r.timeUs);
  for (const std::string* field : {&t.link, &t.direction, &t.subnet, &t.address, &t.command, &t.status, &t.details}) {
    line += ',';
    line += CsvField(*field);
  }
  line += ',';
  if (r.roundTripUs) line += RoundTripMs(*r.roundTripUs);
  line += ',';
  line += CsvField(t.flags);
  line += ',';
  line += Hex(r);
  return line;
}

std::string JsonLine(const FrameRecord& r, const LinkInfo& link) {
  using Json = nlohmann::ordered_json;
  const RowTexts t = TextsOf(r, link);
  auto optional = [](const std::optional<int>& value) { return value ? Json(*value) : Json(); };
  auto text = [](const std::string& value) { return value.empty() ? Json() : Json(value); };
  Json j;
  j["time"] = IsoTimeText(r.timeUs);
  j["link"] = t.link;
  j["direction"] = DirectionOf(r.kind) == Direction::Sent ? "sent" : "received";
  j["subnet"] = optional(r.subnet);
  j["address"] = optional(r.address);
  j["command"] = text(t.command);
  j["status"] = optional(r.status);
  j["status_word"] = text(t.status);
  j["details"] = t.details;
  j["round_trip_ms"] = r.roundTripUs ? Json(*r.roundTripUs / 1000.0) : Json();
  j["flags"] = FlagWords(r);
  j["bytes"] = Hex(r);
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::vector<std::string> ExportRows(const std::string& path, ExportFormat format, const RowSource& rows) {
  if (format == ExportFormat::Pcap) {
    try {
      return ExportPcap(path, rows);
    } catch (const CaptureError& error) {
      throw std::runtime_error(error.what());
    }
  }
  TextFile file(path);
  if (format == ExportFormat::Csv) file.Out() << CsvHeader() << '\n';
  rows([&](const FrameRecord& r, const LinkInfo& link) {
    file.Out() << (format == ExportFormat::Csv ? CsvLine(r, link) : JsonLine(r, link)) << '\n';
  });
  file.Commit();
  return {path};
}

}  // namespace veltra::history
