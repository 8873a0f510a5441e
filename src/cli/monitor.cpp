#include "cli/monitor.h"

#include <ctime>

#include "cli/result_output.h"
#include "link/exchange.h"
#include "link/serial_link.h"
#include "protocol/log_format.h"
#include "protocol/status_words.h"
#include "replies/reply_decoder.h"

namespace veltra::cli {
namespace {

// "2026-12-09 08:14:18.123", local time.
std::string LogTime(std::chrono::system_clock::time_point at) {
  std::string text = IsoTime(at);
  text[10] = ' ';
  return text.substr(0, 23);
}

// "1/3", or "3" for a direct frame, which carries no subnet.
std::string Station(const FrameFacts& facts) {
  return (facts.subnet ? std::to_string(*facts.subnet) + "/" : std::string()) + std::to_string(facts.address);
}

std::string Source(const ReceivedUnit& unit) {
  if (unit.from.port == 0) return unit.from.address;
  return unit.from.address + ":" + std::to_string(unit.from.port);
}

}  // namespace

std::optional<MonitorLine> DescribeFrame(const ReceivedUnit& unit, std::chrono::system_clock::time_point at,
                                         FrameForm form, bool showBytes) {
  const DecodedReply reply = form == FrameForm::Routed ? DecodeRouted(unit.bytes.data(), unit.bytes.size(), true)
                                                       : DecodeDirect(unit.bytes.data(), unit.bytes.size(), true);
  if (!reply.logLine) return std::nullopt;  // not a frame
  const FrameFacts facts = FactsOf(unit.bytes, form);
  const std::size_t statusAt = static_cast<std::size_t>(AddressOffset(form) + 3);
  // A reply's status; -1 for a request, which has none. (Not an optional:
  // GCC 12 at -O3 warns falsely that its value may be unset.)
  const int status = facts.reply && statusAt < unit.bytes.size() ? unit.bytes[statusAt] : -1;
  const std::size_t classAt = static_cast<std::size_t>(AddressOffset(form) + 1);
  const std::string command =
      !facts.command.empty() ? facts.command
                             : "class " + HexBytes(&unit.bytes[classAt], 1) + " command " + HexBytes(&unit.bytes[classAt + 1], 1);

  MonitorLine line;
  // A reply names its sender, a request its addressee; the other end is the
  // master that asked (this console or another).
  line.text = LogTime(at) + "  " + Source(unit) + "  " +
              (facts.reply ? Station(facts) + " -> master" : "master -> " + Station(facts)) + "  " + command +
              (facts.reply ? " reply" : " request");
  if (status >= 0) line.text += std::string("  ") + StatusWord(static_cast<std::uint8_t>(status));
  for (const std::string& result : ResultLines(reply)) line.text += "  " + result;
  if (showBytes) line.text += "  " + HexBytes(unit.bytes.data(), static_cast<int>(unit.bytes.size()));

  auto& j = line.json;
  j["time"] = IsoTime(at);
  j["source"] = Source(unit);
  j["kind"] = facts.reply ? "reply" : "request";
  j["command"] = facts.command.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(facts.command);
  j["address"] = facts.address;
  j["subnet"] = facts.subnet ? nlohmann::ordered_json(*facts.subnet) : nlohmann::ordered_json(nullptr);
  j["frame"] = HexBytes(unit.bytes.data(), static_cast<int>(unit.bytes.size()));
  j["status"] = status >= 0 ? nlohmann::ordered_json(status) : nlohmann::ordered_json(nullptr);
  j["status_word"] = status >= 0 ? nlohmann::ordered_json(StatusWord(static_cast<std::uint8_t>(status)))
                                 : nlohmann::ordered_json(nullptr);
  j["result"] = ResultFields(reply);
  return line;
}

int Monitor(Link& link, const GlobalOptions& o, Environment env) {
  const FrameForm form = o.link.Form();
  auto* serial = dynamic_cast<SerialLink*>(&link);
  // The notices go with this call, however it ends.
  struct Quiet {
    SerialLink* serial;
    ~Quiet() {
      if (!serial) return;
      serial->onHangup = {};
      serial->onReconnected = {};
    }
  } quiet{serial};
  if (serial) {
    // A line that recovers says on the standard error when its adapter goes
    // and comes back; the frames on the standard output go on after it.
    serial->onHangup = [serial, &env] {
      if (serial->Down())
        env.err << "veltra-cli: Serial device disconnected: " << serial->OpenedBy() << ": waiting for it to return\n"
                << std::flush;
    };
    serial->onReconnected = [serial, &env] {
      env.err << "veltra-cli: Serial device reconnected: " << serial->Port().CommName() << '\n' << std::flush;
    };
  }
  while (!link.Stopping()) {
    const std::optional<ReceivedUnit> unit = link.Receive(1000);
    if (!unit) {
      // Without recovery a hung-up line stays dead: monitor ends.
      if (serial && serial->HungUp() && !serial->Down()) throw LinkError("the serial line hung up");
      continue;
    }
    ReportReceived(link, *unit, form);  // into the frame history, with monitor --history
    const auto line = DescribeFrame(*unit, std::chrono::system_clock::now(), form, o.showBytes);
    if (!line) continue;
    env.out << (o.json ? JsonLine(line->json) : line->text) << '\n' << std::flush;
  }
  return env.stop ? ExitForSignal(env.stop->Reason()) : kExitOk;
}

}  // namespace veltra::cli
