#include "history/line_health.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace veltra::history {
namespace {

double Percent(double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0; }

// Nearest rank: the smallest value with at least p % of the values at or
// below it.
double Rank(const std::vector<std::uint32_t>& sorted, double p) {
  const auto n = static_cast<double>(sorted.size());
  const auto at = static_cast<std::size_t>(std::max(1.0, std::ceil(p / 100.0 * n))) - 1;
  return sorted[std::min(at, sorted.size() - 1)] / 1000.0;
}

std::string Number(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

void LineHealth::KeepRoundTrip(Module& m, std::uint32_t us) {
  ++m.roundTripsSeen;
  if (m.roundTripsUs.size() < kKeptRoundTrips) {
    m.roundTripsUs.push_back(us);
    return;
  }
  // Reservoir sampling: every round trip seen has the same chance to be kept.
  random_ = random_ * 6364136223846793005ull + 1442695040888963407ull;
  const std::uint64_t slot = (random_ >> 11) % m.roundTripsSeen;
  if (slot < kKeptRoundTrips) m.roundTripsUs[slot] = us;
}

void LineHealth::Add(const FrameRecord& r, const LinkInfo& link) {
  const bool onWire = r.kind != ObservedKind::Noise && r.kind != ObservedKind::NoReply;
  if (onWire) {
    ++frames_;
    ++(r.kind == ObservedKind::Sent ? sent_ : received_);
  }
  if (r.flags & kBadChecksum) ++badChecksums_;
  if (r.kind == ObservedKind::NotAFrame && !(r.flags & kBadChecksum)) ++notFrames_;
  if (r.kind == ObservedKind::Noise) noise_ += r.skipped;
  if (r.kind == ObservedKind::Late) ++late_;
  if (r.kind == ObservedKind::Unrelated) ++unrelated_;
  if (r.kind == ObservedKind::NoReply) ++noReplies_;

  if (link.serial) {
    Line& line = lines_[link.Text() + "\n" + std::to_string(link.line.baud) + "/" + std::to_string(link.line.bitsPerByte)];
    line.link = link;
    // The serial line's frames whose checksum failed are among the noise
    // skipped: counted once, there.
    if (r.kind == ObservedKind::Noise) {
      line.wireBytes += r.skipped;
    } else if (onWire && r.kind != ObservedKind::NotAFrame) {
      line.wireBytes += static_cast<std::int64_t>(r.bytes.size());
    }
  }

  if (!r.address) return;
  Module& m = modules_[*r.address];
  switch (r.kind) {
    case ObservedKind::Sent: ++m.requests; break;
    case ObservedKind::Answer:
      ++m.replies;
      if (r.roundTripUs) KeepRoundTrip(m, static_cast<std::uint32_t>(std::clamp<std::int64_t>(*r.roundTripUs, 0, UINT32_MAX)));
      break;
    case ObservedKind::Late: ++m.late; break;
    case ObservedKind::NoReply: ++m.noReplies; break;
    case ObservedKind::Unrelated: ++m.heard; break;
    case ObservedKind::NotAFrame:
    case ObservedKind::Noise: break;
  }
}

void LineHealth::Merge(const LineHealth& o) {
  frames_ += o.frames_;
  sent_ += o.sent_;
  received_ += o.received_;
  badChecksums_ += o.badChecksums_;
  notFrames_ += o.notFrames_;
  noise_ += o.noise_;
  late_ += o.late_;
  unrelated_ += o.unrelated_;
  noReplies_ += o.noReplies_;
  for (const auto& [key, line] : o.lines_) {
    Line& mine = lines_[key];
    mine.link = line.link;
    mine.wireBytes += line.wireBytes;
  }
  for (const auto& [address, m] : o.modules_) {
    Module& mine = modules_[address];
    mine.requests += m.requests;
    mine.replies += m.replies;
    mine.late += m.late;
    mine.noReplies += m.noReplies;
    mine.heard += m.heard;
    for (const std::uint32_t us : m.roundTripsUs) KeepRoundTrip(mine, us);
  }
}

LineFigures LineHealth::Figures(double seconds, const HealthThresholds& thresholds) const {
  LineFigures f;
  f.seconds = seconds;
  f.frames = frames_;
  f.sent = sent_;
  f.received = received_;
  f.framesPerSecond = seconds > 0 ? frames_ / seconds : 0;
  f.badChecksums = badChecksums_;
  f.notFrames = notFrames_;
  f.noiseBytes = noise_;
  f.lateReplies = late_;
  f.unrelated = unrelated_;
  f.noReplies = noReplies_;
  // Every bad frame received is a NotAFrame row, with or without a
  // readable header.
  f.badFramePercent = Percent(static_cast<double>(badChecksums_ + notFrames_), static_cast<double>(received_));
  f.badFrameWarning = f.badFramePercent > thresholds.badFramePercent;
  for (const auto& [key, line] : lines_) {
    OccupancyFigures o;
    o.link = line.link;
    o.wireBytes = line.wireBytes;
    if (line.link.line.baud > 0 && seconds > 0)
      o.percent = Percent(static_cast<double>(line.wireBytes) * line.link.line.bitsPerByte,
                          static_cast<double>(line.link.line.baud) * seconds);
    o.warning = o.percent > thresholds.occupancyPercent;
    f.occupancy.push_back(o);
  }
  for (const auto& [address, m] : modules_) {
    ModuleFigures out;
    out.address = address;
    out.requests = m.requests;
    out.replies = m.replies;
    out.late = m.late;
    out.noReplies = m.noReplies;
    out.heard = m.heard;
    if (!m.roundTripsUs.empty()) {
      std::vector<std::uint32_t> sorted = m.roundTripsUs;
      std::sort(sorted.begin(), sorted.end());
      out.roundTrip = RoundTrips{Rank(sorted, 50), Rank(sorted, 95), Rank(sorted, 99)};
    }
    out.noReplyPercent = Percent(static_cast<double>(m.noReplies), static_cast<double>(m.requests));
    out.noReplyWarning = out.noReplyPercent > thresholds.noReplyPercent;
    f.modules.push_back(out);
  }
  return f;
}

std::vector<std::string> LineFigures::Warnings() const {
  std::vector<std::string> warnings;
  for (const OccupancyFigures& o : occupancy)
    if (o.warning)
      warnings.push_back(o.link.Text() + " is busy " + Number(o.percent, 1) +
                         " % of the time: check the line settings and the traffic on the line");
  if (badFrameWarning)
    warnings.push_back(Number(badFramePercent, 1) +
                       " % of the frames received are bad: check the wiring and the line settings");
  for (const ModuleFigures& m : modules)
    if (m.noReplyWarning)
      warnings.push_back("module " + std::to_string(m.address) + " left " + Number(m.noReplyPercent, 1) +
                         " % of its requests without a reply: check the module and its wiring");
  return warnings;
}

std::string FiguresText(const LineFigures& f) {
  std::string t;
  auto line = [&t](const std::string& label, const std::string& value, bool warning = false) {
    char pad[64];
    std::snprintf(pad, sizeof pad, "%-22s", (label + ":").c_str());
    t += pad + value + (warning ? "  WARNING" : "") + "\n";
  };
  line("Span", Number(f.seconds, 1) + " s");
  line("Frames", std::to_string(f.frames) + " (" + std::to_string(f.sent) + " sent, " + std::to_string(f.received) +
                     " received), " + Number(f.framesPerSecond, 1) + " frames/s");
  for (const OccupancyFigures& o : f.occupancy)
    line("Line occupancy", o.link.Text() + " at " + std::to_string(o.link.line.baud) + " baud, " +
                               std::to_string(o.link.line.bitsPerByte) + " bits a byte: " + Number(o.percent, 1) +
                               " % (" + std::to_string(o.wireBytes) + " bytes)",
         o.warning);
  line("Bad frames", Number(f.badFramePercent, 2) + " % of the frames received", f.badFrameWarning);
  line("Bad checksums", std::to_string(f.badChecksums));
  line("Not frames", std::to_string(f.notFrames));
  line("Noise skipped", std::to_string(f.noiseBytes) + " bytes");
  line("Late replies", std::to_string(f.lateReplies));
  line("Unrelated frames", std::to_string(f.unrelated));
  line("No replies", std::to_string(f.noReplies));
  if (!f.modules.empty()) {
    char head[160];
    std::snprintf(head, sizeof head, "\n%-8s %9s %9s %10s %6s %7s %9s %9s %9s\n", "Module", "Requests", "Replies",
                  "No reply", "Late", "Heard", "p50 ms", "p95 ms", "p99 ms");
    t += head;
    for (const ModuleFigures& m : f.modules) {
      char row[200];
      const auto ms = [&](double v) { return m.roundTrip ? Number(v, 2) : std::string("-"); };
      std::snprintf(row, sizeof row, "%-8d %9lld %9lld %10lld %6lld %7lld %9s %9s %9s%s\n", m.address,
                    static_cast<long long>(m.requests), static_cast<long long>(m.replies),
                    static_cast<long long>(m.noReplies), static_cast<long long>(m.late),
                    static_cast<long long>(m.heard), ms(m.roundTrip ? m.roundTrip->p50 : 0).c_str(),
                    ms(m.roundTrip ? m.roundTrip->p95 : 0).c_str(), ms(m.roundTrip ? m.roundTrip->p99 : 0).c_str(),
                    m.noReplyWarning ? "  WARNING" : "");
      t += row;
    }
  }
  const std::vector<std::string> warnings = f.Warnings();
  if (!warnings.empty()) t += "\n";
  for (const std::string& w : warnings) t += "Warning: " + w + "\n";
  return t;
}

std::string FiguresJson(const LineFigures& f) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["seconds"] = f.seconds;
  j["frames"] = f.frames;
  j["sent"] = f.sent;
  j["received"] = f.received;
  j["frames_per_second"] = f.framesPerSecond;
  j["occupancy"] = Json::array();
  for (const OccupancyFigures& o : f.occupancy)
    j["occupancy"].push_back({{"link", o.link.Text()},
                              {"baud", o.link.line.baud},
                              {"bits_per_byte", o.link.line.bitsPerByte},
                              {"wire_bytes", o.wireBytes},
                              {"percent", o.percent},
                              {"warning", o.warning}});
  j["bad_frame_percent"] = f.badFramePercent;
  j["bad_frame_warning"] = f.badFrameWarning;
  j["bad_checksums"] = f.badChecksums;
  j["not_frames"] = f.notFrames;
  j["noise_bytes"] = f.noiseBytes;
  j["late_replies"] = f.lateReplies;
  j["unrelated_frames"] = f.unrelated;
  j["no_replies"] = f.noReplies;
  j["modules"] = Json::array();
  for (const ModuleFigures& m : f.modules) {
    Json module = {{"address", m.address},     {"requests", m.requests}, {"replies", m.replies},
                   {"no_replies", m.noReplies}, {"late", m.late},         {"heard", m.heard},
                   {"no_reply_percent", m.noReplyPercent}, {"no_reply_warning", m.noReplyWarning}};
    module["round_trip_ms"] =
        m.roundTrip ? Json{{"p50", m.roundTrip->p50}, {"p95", m.roundTrip->p95}, {"p99", m.roundTrip->p99}} : Json();
    j["modules"].push_back(module);
  }
  j["warnings"] = f.Warnings();
  return j.dump();
}

}  // namespace veltra::history
