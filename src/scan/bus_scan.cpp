#include "scan/bus_scan.h"

#include <charconv>
#include <stdexcept>

namespace veltra {

BusScan::BusScan(int from, int to) : from_(from), to_(to), next_(from) {
  if (from > to) throw std::invalid_argument("the scan's first address is above its last");
}

std::optional<ScanRequest> BusScan::Pending() const {
  if (stopped_ || next_ > to_) return std::nullopt;
  return ScanRequest{next_, query_};
}

PreparedRequest BusScan::Build(const Addressing& addressing) const {
  const auto request = Pending();
  if (!request) throw std::logic_error("no scan request is due");
  const RequestId id = request->query == ScanQuery::ModuleType ? RequestId::ReadModuleType : RequestId::ReadVersion;
  RequestValues values;
  values.ints["ADDR"] = request->address;
  return PrepareRequest(Request(id), std::move(values), addressing);
}

void BusScan::Replied(const DecodedReply& reply, double roundTripMs) {
  if (Finished()) return;
  if (query_ == ScanQuery::ModuleType) {
    // An answer without a type (an error status) is not a module to list.
    if (reply.effect != ReplyEffect::ModuleType) return NextAddress();
    rows_.push_back({next_, reply.text, {}, roundTripMs});
    query_ = ScanQuery::Version;
    return;
  }
  if (reply.effect == ReplyEffect::Version) rows_.back().version = reply.text;
  NextAddress();
}

void BusScan::TimedOut() {
  if (!Finished()) NextAddress();
}

void BusScan::Stop() { stopped_ = true; }

void BusScan::NextAddress() {
  ++next_;
  query_ = ScanQuery::ModuleType;
}

std::string FormatReplyMs(double ms) {
  char text[32];
  // Not printf: a locale with a decimal comma would break the CSV.
  const auto end = std::to_chars(text, text + sizeof text, ms, std::chars_format::fixed, 1).ptr;
  return std::string(text, end);
}

std::string ScanCsv(std::span<const ScanRow> rows) {
  // Versions are free text: quoted, with quotes doubled.
  auto quoted = [](const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '"') out += '"';
      out += c;
    }
    return out + '"';
  };
  std::string csv = "Address,Module Type,Version,Reply (ms)\n";
  for (const ScanRow& row : rows)
    csv += std::to_string(row.address) + ',' + row.moduleType + ',' + quoted(row.version) + ',' +
           FormatReplyMs(row.replyMs) + '\n';
  return csv;
}

}  // namespace veltra
