#pragma once
// One scan of a range of module addresses: for each address "Read Module
// Type", and for an address that answers, "Read Version". Pure and
// link-agnostic: it says which request is due and takes what became of it,
// so the window (one request per turn of its event loop) and the tools (a
// blocking session) run the same scan.
//
// Requests go one at a time, each after the previous one's reply or
// time-out, so that a real bus is never flooded.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/command_catalogue.h"
#include "replies/reply_decoder.h"

namespace veltra {

inline constexpr int kFirstScanAddress = 1;
inline constexpr int kLastScanAddress = 32;

// One address that answered "Read Module Type".
struct ScanRow {
  int address = 0;
  std::string moduleType;  // four hex digits, e.g. "0208"
  std::string version;     // empty when the version read got no answer
  double replyMs = 0;      // round trip of the module type request
};

enum class ScanQuery { ModuleType, Version };

struct ScanRequest {
  int address = 0;
  ScanQuery query = ScanQuery::ModuleType;
};

class BusScan {
 public:
  // Addresses from..to; throws std::invalid_argument when from > to.
  BusScan(int from, int to);

  // The request due now; nothing once the scan is finished or stopped.
  std::optional<ScanRequest> Pending() const;
  // The pending request, built for a link of this form and subnet.
  PreparedRequest Build(const Addressing& addressing) const;
  // What became of the pending request: a reply the decoder accepted (with
  // its round trip), or nothing within the time-out.
  void Replied(const DecodedReply& reply, double roundTripMs);
  void TimedOut();
  // Ends the scan; the rows found so far stay.
  void Stop();

  bool Finished() const { return !Pending(); }
  bool Stopped() const { return stopped_; }
  // Addresses whose requests are all done, out of AddressCount().
  int AddressesDone() const { return next_ - from_; }
  int AddressCount() const { return to_ - from_ + 1; }
  const std::vector<ScanRow>& Rows() const { return rows_; }

 private:
  void NextAddress();

  int from_, to_;
  int next_;  // the address being scanned
  ScanQuery query_ = ScanQuery::ModuleType;
  bool stopped_ = false;
  std::vector<ScanRow> rows_;
};

// "Reply (ms)" as the table and the exports show it: one decimal.
std::string FormatReplyMs(double ms);
// The rows as CSV with the header Address,Module Type,Version,Reply (ms).
std::string ScanCsv(std::span<const ScanRow> rows);

}  // namespace veltra
