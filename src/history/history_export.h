#pragma once
// History rows written out: CSV and JSON lines with the Bus Monitor's
// columns, or pcap files of the frames for Wireshark (UDP frames as IPv4
// packets, serial frames as USER0 records, as the captures are).
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "history/frame_record.h"

namespace veltra::history {

// Visits every row to export, with its link, in order; may be called more
// than once (the pcap export looks at the rows twice).
using RowSource = std::function<void(const std::function<void(const FrameRecord&, const LinkInfo&)>& visit)>;

// "time,link,direction,subnet,address,command,status,details,round_trip_ms,flags,bytes"
std::string CsvHeader();
// One row, fields quoted where they need it; no line end.
std::string CsvLine(const FrameRecord& record, const LinkInfo& link);
// {"time","link","direction","subnet","address","command","status",
// "status_word","details","round_trip_ms","flags","bytes"}; absent values
// are null.
std::string JsonLine(const FrameRecord& record, const LinkInfo& link);

enum class ExportFormat { Csv, JsonLines, Pcap };

// Writes the rows to path, under a temporary name renamed when complete.
// A pcap file holds one link type: frames of both links put the serial ones
// into "NAME-serial.pcap" beside it. Rows without a frame (noise, no reply)
// have no place in a pcap file and are left out there. Returns the files
// written. Throws std::runtime_error with the reason.
std::vector<std::string> ExportRows(const std::string& path, ExportFormat format, const RowSource& rows);

}  // namespace veltra::history
