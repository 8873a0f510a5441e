// The frame describer (Bus Monitor, history) on arbitrary bytes, in both
// forms. Byte 0 chooses the form (bit 0: routed); the rest is the frame.
//
// Properties: bytes are read as a frame exactly when they start 55 AA with a
// Length of at least 8; a complete one has its checksum judged as the rules
// say; bytes after the Length change nothing but the count of trailing
// bytes; a routed reading needs a Length of 10 or more; every detail has a
// field name; a reply has a status and its word; and the texts are made.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "protocol/frame_description.h"

namespace {

using veltra::FrameDescription;
using veltra::FrameForm;
using veltra::fuzz::Require;

bool SameReading(const FrameDescription& a, const FrameDescription& b) {
  if (a.isFrame != b.isFrame || a.truncated != b.truncated || a.checksumOk != b.checksumOk || a.form != b.form ||
      a.subnet != b.subnet || a.address != b.address || a.cls != b.cls || a.command != b.command ||
      a.reply != b.reply || a.status != b.status || a.details.size() != b.details.size())
    return false;
  for (std::size_t i = 0; i < a.details.size(); ++i)
    if (a.details[i].field != b.details[i].field || a.details[i].value != b.details[i].value) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const FrameForm form = data[0] & 1 ? FrameForm::Routed : FrameForm::Direct;
  const std::vector<std::uint8_t> bytes(data + 1, data + size);
  const FrameDescription d = veltra::DescribeFrame(bytes, form);

  const bool looksLikeFrame = bytes.size() >= 3 && bytes[0] == 0x55 && bytes[1] == 0xAA && bytes[2] >= 8;
  Require(d.isFrame == looksLikeFrame, "a frame is 55 AA with a Length of at least 8");
  if (!d.isFrame) {
    Require(d.details.empty() && d.CommandText().empty(), "no frame, no reading");
    return 0;
  }
  const std::size_t length = bytes[2];
  Require(d.truncated == (length > bytes.size()), "truncated when the bytes end before the Length");
  if (d.truncated) return 0;
  Require(d.checksumOk == veltra::fuzz::ChecksumHolds(bytes.data(), length), "the checksum as the rules say");
  Require(d.trailing == bytes.size() - length, "trailing bytes counted");
  Require(d.form == FrameForm::Direct || length >= 10, "routed only from a Length of 10");
  Require(d.subnet.has_value() == (d.form == FrameForm::Routed), "a subnet in the routed form only");
  Require(!d.reply || (d.status.has_value() && !d.StatusText().empty()), "a reply has its status word");
  for (const veltra::FrameDetail& detail : d.details) Require(!detail.field.empty(), "every detail is named");
  Require(!d.CommandText().empty(), "a command text");
  (void)d.DetailsText();

  const std::vector<std::uint8_t> exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  Require(SameReading(veltra::DescribeFrame(exact, form), d), "bytes after the frame change nothing");
  return 0;
}
