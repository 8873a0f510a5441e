#include "history/frame_record.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "protocol/command_catalogue.h"
#include "protocol/frame_description.h"
#include "protocol/log_format.h"
#include "protocol/status_words.h"

namespace veltra::history {
namespace {

// The local date and time of one second, "%Y-%m-%d %H:%M:%S" and the offset
// "+0100", made once for all the rows that fall into it.
struct LocalSecond {
  std::int64_t second = -1;
  char date[32] = {};
  char zone[8] = {};
};

const LocalSecond& LocalSecondOf(std::int64_t timeUs) {
  thread_local LocalSecond cached;
  const std::int64_t second = timeUs >= 0 ? timeUs / 1'000'000 : (timeUs - 999'999) / 1'000'000;
  if (second != cached.second) {
    const std::time_t whole = static_cast<std::time_t>(second);
    std::tm local{};
    ::localtime_r(&whole, &local);
    std::strftime(cached.date, sizeof cached.date, "%Y-%m-%d %H:%M:%S", &local);
    std::strftime(cached.zone, sizeof cached.zone, "%z", &local);
    cached.second = second;
  }
  return cached;
}

std::string Milliseconds(std::int64_t timeUs) {
  const int ms = static_cast<int>(((timeUs % 1'000'000) + 1'000'000) % 1'000'000 / 1000);
  std::string text = ".000";
  text[1] = static_cast<char>('0' + ms / 100);
  text[2] = static_cast<char>('0' + ms / 10 % 10);
  text[3] = static_cast<char>('0' + ms % 10);
  return text;
}

}  // namespace

std::string LinkInfo::Text() const {
  if (serial) return "Com " + address;
  return "TCP/IP " + address + ":" + std::to_string(port);
}

LinkInfo LinkInfoOf(const LinkEndpoint& peer, const LineTiming& line) {
  LinkInfo info;
  info.serial = peer.port == 0;
  info.address = peer.address;
  info.port = peer.port;
  if (info.serial) info.line = line;
  return info;
}

FrameRecord RecordOf(const ObservedFrame& frame) {
  FrameRecord r;
  r.timeUs = std::chrono::duration_cast<std::chrono::microseconds>(frame.at.time_since_epoch()).count();
  r.kind = frame.kind;
  r.bytes.assign(frame.bytes.begin(), frame.bytes.end());
  r.skipped = static_cast<std::uint32_t>(frame.skippedBytes);
  if (frame.roundTrip) r.roundTripUs = std::chrono::duration_cast<std::chrono::microseconds>(*frame.roundTrip).count();

  const FrameDescription d = DescribeFrame(r.bytes, frame.form);
  if (d.form == FrameForm::Routed) r.flags |= kRouted;
  if (d.isFrame && !d.truncated) {
    r.subnet = d.subnet ? std::optional<int>(*d.subnet) : std::nullopt;
    r.address = d.address;
    r.command = (d.cls & 0x7F) * 256 + d.command;
    if (d.reply) {
      r.flags |= kReply;
      r.status = *d.status;
    }
    if (!d.checksumOk) r.flags |= kBadChecksum;
  }
  const bool failed = frame.kind == ObservedKind::NotAFrame || frame.kind == ObservedKind::Noise ||
                      frame.kind == ObservedKind::NoReply || (r.flags & kBadChecksum) ||
                      (frame.kind != ObservedKind::Sent && r.status && *r.status != kStatusOk);
  if (failed) r.flags |= kFailure;
  return r;
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::vector<int> CommandCodesNamed(const std::string& name) {
  std::vector<int> codes;
  const std::string wanted = LowerCase(name);
  for (const WireCommand& c : WireCommands())
    if (LowerCase(std::string(c.name)) == wanted) codes.push_back(c.cls * 256 + c.command);
  return codes;
}

std::string LocalTimeText(std::int64_t timeUs) { return LocalSecondOf(timeUs).date + Milliseconds(timeUs); }

std::string IsoTimeText(std::int64_t timeUs) {
  const LocalSecond& local = LocalSecondOf(timeUs);
  std::string text = local.date;
  text[10] = 'T';
  text += Milliseconds(timeUs);
  text.append(local.zone, 3);
  text += ':';
  text.append(local.zone + 3, 2);
  return text;
}

std::string FlagsText(const FrameRecord& r) {
  std::vector<std::string> words;
  switch (r.kind) {
    case ObservedKind::Late: words.push_back("late reply"); break;
    case ObservedKind::Unrelated: words.push_back("unrelated frame"); break;
    case ObservedKind::NotAFrame:
      if (!(r.flags & kBadChecksum)) words.push_back("not a frame");
      break;
    case ObservedKind::Noise: words.push_back("noise skipped (" + std::to_string(r.skipped) + " bytes)"); break;
    case ObservedKind::NoReply: words.push_back("no reply"); break;
    case ObservedKind::Sent:
    case ObservedKind::Answer: break;
  }
  if (r.flags & kBadChecksum) words.push_back("bad checksum");
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : ", ") + w;
  return text;
}

RowTexts TextsOf(const FrameRecord& r, const LinkInfo& link) {
  RowTexts t;
  t.time = LocalTimeText(r.timeUs);
  t.link = link.Text();
  t.direction = DirectionOf(r.kind) == Direction::Sent ? "Sent" : "Received";
  if (r.subnet) t.subnet = std::to_string(*r.subnet);
  if (r.address) t.address = std::to_string(*r.address);
  if (r.kind != ObservedKind::Noise) {
    const FrameDescription d = DescribeFrame(r.bytes, r.Form());
    // A request that got no reply shows what it asked.
    t.command = d.CommandText();
    t.status = d.StatusText();
    t.details = d.DetailsText();
  }
  if (r.roundTripUs) t.roundTrip = FormatRoundTrip(std::chrono::microseconds(*r.roundTripUs));
  t.flags = FlagsText(r);
  return t;
}

std::string SearchText(const FrameRecord& r, const LinkInfo& link) {
  const RowTexts t = TextsOf(r, link);
  std::string text = t.link + '\n' + t.direction + '\n' + t.command + '\n' + t.status + '\n' + t.details + '\n' +
                     t.flags + '\n' + HexBytes(r.bytes.data(), static_cast<int>(r.bytes.size()));
  return LowerCase(std::move(text));
}

}  // namespace veltra::history
