#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "capture/frame_recorder.h"
#include "cli/history_commands.h"
#include "cli/link_options.h"
#include "cli/result_output.h"
#include "cli/scene_database.h"
#include "cli/tool_commands.h"
#include "cli/tool_exchange.h"
#include "history/history_writer.h"
#include "link/serial_link.h"
#include "plan/site_plan.h"
#include "protocol/address_text.h"
#include "protocol/command_catalogue.h"
#include "protocol/scene_commands.h"

namespace veltra::cli {
namespace {

// How long the serial line may take to send what is queued before the tool ends.
constexpr int kFlushMs = 2000;

// A usage error found after parsing: refused before anything is sent.
struct UsageError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// Where one command's parsed values land.
struct Parsed {
  std::map<std::string, int> ints;
  std::map<std::string, std::string> choices;
  std::vector<std::string> tokens;  // channel codes or hex bytes
  std::string to;
  bool yes = false;
  int recordSubnet = 0, recordPort = 0, recordServerPort = 0;
  std::string ip, mask, gateway, serverIp, mac;
};

CLI::App* Subcommand(CLI::App& parent, const std::string& word, const std::string& help) {
  const auto same = parent.get_subcommands([&word](CLI::App* sub) { return sub->get_name() == word; });
  if (!same.empty()) return same.front();
  return parent.add_subcommand(word, help);
}

void Declare(CLI::App& sub, const RequestSpec& spec, Parsed& p) {
  for (const FieldSpec& f : spec.fields) {
    const std::string name(f.name);
    CLI::Option* option;
    if (!f.choices.empty()) {
      std::vector<std::string> choices(f.choices.begin(), f.choices.end());
      p.choices[name] = choices[static_cast<std::size_t>(f.defaultValue.value_or(0))];
      option = sub.add_option(name, p.choices[name], std::string(f.help))->check(CLI::IsMember(choices));
    } else {
      p.ints[name] = f.defaultValue.value_or(f.min);
      option = sub.add_option(name, p.ints[name], std::string(f.help))->check(CLI::Range(f.min, f.max));
    }
    if (f.defaultValue) {
      option->capture_default_str();
    } else {
      option->required();
    }
  }
  switch (spec.extra) {
    case ExtraValues::Channels:
      sub.add_option("CH", p.tokens, "one code per output: 0 off, 1 on, X no change (1 to 8)")
          ->required()
          ->expected(1, kChannelCount);
      break;
    case ExtraValues::RawFrame:
      sub.add_option("HEX", p.tokens, "the frame from its Length byte on, in hexadecimal")->required();
      break;
    case ExtraValues::BusSwitchRecord:
      sub.add_option("--subnet-id", p.recordSubnet, "subnet ID (0-65535)")->required()->check(CLI::Range(0, 65535));
      sub.add_option("--ip", p.ip, "IP address A.B.C.D")->required();
      sub.add_option("--port", p.recordPort, "port (0-65535)")->required()->check(CLI::Range(0, 65535));
      sub.add_option("--mask", p.mask, "subnet mask A.B.C.D")->required();
      sub.add_option("--gateway", p.gateway, "gateway A.B.C.D")->required();
      sub.add_option("--server-ip", p.serverIp, "server IP address A.B.C.D")->required();
      sub.add_option("--server-port", p.recordServerPort, "server port (0-65535)")->required()->check(CLI::Range(0, 65535));
      sub.add_option("--mac", p.mac, "MAC address XX:XX:XX:XX:XX:XX")->required();
      break;
    case ExtraValues::None:
      break;
  }
  // The bus switch's "Read" is a broadcast: it may go to another host.
  if (spec.id == RequestId::BusSwitchRead)
    sub.add_option("--to", p.to, "send to this host (e.g. a broadcast address) instead of the --udp host");
  if (spec.confirm) sub.add_flag("--yes", p.yes, "confirm: the module forgets its settings");
}

// The parsed text turned into the request's values; bad values throw UsageError.
RequestValues Collect(const RequestSpec& spec, const Parsed& p) {
  RequestValues v;
  for (const auto& [name, value] : p.ints) v.ints[name] = value;
  for (const FieldSpec& f : spec.fields) {
    if (f.choices.empty()) continue;
    const auto at = std::find(f.choices.begin(), f.choices.end(), p.choices.at(std::string(f.name)));
    v.ints[std::string(f.name)] = static_cast<int>(at - f.choices.begin());
  }
  if (spec.confirm && !p.yes) throw UsageError("this command changes the device for good: confirm it with --yes");
  try {
    switch (spec.extra) {
      case ExtraValues::Channels:
        for (const std::string& code : p.tokens) v.channelItems.push_back(ParseChannelCode(code));
        break;
      case ExtraValues::RawFrame:
        v.raw = ParseHexBytes(p.tokens);
        break;
      case ExtraValues::BusSwitchRecord: {
        plan::BusSwitch b;
        b.ip = ParseIpv4(p.ip);
        b.port = p.recordPort;
        b.mask = ParseIpv4(p.mask);
        b.gateway = ParseIpv4(p.gateway);
        b.serverIp = ParseIpv4(p.serverIp);
        b.serverPort = p.recordServerPort;
        b.mac = ParseMac(p.mac);
        v.record = plan::RecordOf(p.recordSubnet, b);
        break;
      }
      case ExtraValues::None:
        break;
    }
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
  if (const auto problem = CheckValues(spec, v)) throw UsageError(*problem);
  return v;
}

int ExitFor(const ExchangeResult& e) {
  if (e.outcome == ExchangeOutcome::NoReply) return kExitNoReply;
  if (e.outcome != ExchangeOutcome::Answered) return kExitLinkError;
  return e.status == kStatusOk ? kExitOk : kExitErrorStatus;
}

class Runner {
 public:
  Runner(const GlobalOptions& options, Environment env) : o_(options), env_(env) {}

  int Listen(Link& link) {
    const FrameForm form = o_.link.Form();
    const std::size_t statusAt = static_cast<std::size_t>(AddressOffset(form) + 3);
    while (!(env_.stop && env_.stop->load())) {
      const std::optional<ReceivedUnit> unit = link.Receive(200);
      if (!unit) {
        if (HungUp(link)) return LinkFailure("the serial line hung up");
        continue;
      }
      ReportReceived(link, *unit, form);
      const DecodedReply reply = form == FrameForm::Routed
                                     ? DecodeRouted(unit->bytes.data(), unit->bytes.size(), !o_.showBytes)
                                     : DecodeDirect(unit->bytes.data(), unit->bytes.size(), !o_.showBytes);
      if (!reply.logLine) continue;  // not a frame
      if (o_.json) {
        env_.out << FrameJson(unit->bytes, reply, statusAt).dump() << '\n' << std::flush;
      } else {
        env_.out << *reply.logLine << '\n';
        for (const std::string& line : ResultLines(reply)) env_.out << line << '\n';
        env_.out << std::flush;
      }
    }
    return kExitOk;
  }

  int Requests(Link& link, const RequestSpec& spec, const RequestValues& values, SceneDatabase* db) {
    ToolExchange exchange(link, o_.link, !o_.showBytes, Printer());
    int exit = kExitOk;
    std::vector<double> roundTrips;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < o_.repeat; ++i) {
      const ExchangeResult e = exchange.Request(spec, values, o_.link.subnet);
      if (e.outcome == ExchangeOutcome::NotSent) return LinkFailure("the link is not open: request not sent");
      if (e.outcome == ExchangeOutcome::Refused) return LinkFailure("the serial line no longer takes data");
      if (e.outcome == ExchangeOutcome::NoReply && HungUp(link)) return LinkFailure("the serial line hung up");
      Print(e);
      ApplySceneEffect(e, db);
      if (e.outcome == ExchangeOutcome::Answered)
        roundTrips.push_back(std::chrono::duration<double, std::milli>(e.roundTrip).count());
      if (exit == kExitOk) exit = ExitFor(e);
    }
    if (o_.repeat > 1) Summary(roundTrips, std::chrono::steady_clock::now() - start);
    // A request that waited for nothing may still be queued for the line.
    if (auto* serial = dynamic_cast<SerialLink*>(&link); serial && !serial->Flush(kFlushMs))
      return LinkFailure("the serial line did not take the request in time");
    return exit;
  }

  int LinkFailure(const std::string& text, const std::string& reason = {}) {
    return ReportLinkFailure(env_.err, text, reason);
  }

 private:
  static bool HungUp(Link& link) {
    const auto* serial = dynamic_cast<SerialLink*>(&link);
    return serial && serial->HungUp();
  }

  // Log lines on the standard output, unless it carries JSON.
  ToolExchange::Printer Printer() {
    if (o_.json) return {};
    return [this](const std::string& line) { env_.out << line << '\n'; };
  }

  void Print(const ExchangeResult& e) {
    if (o_.json) {
      env_.out << ExchangeJson(e).dump() << '\n';
      return;
    }
    if (e.outcome == ExchangeOutcome::NoReply) {
      env_.err << "No reply within " << o_.link.timeoutMs << " ms\n";
      return;
    }
    for (const std::string& line : ResultLines(e.decoded)) env_.out << line << '\n';
  }

  void Summary(std::vector<double> roundTrips, std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    env_.err << o_.repeat << " requests, " << roundTrips.size() << " replies in " << seconds << " s: "
             << (seconds > 0 ? o_.repeat / seconds : 0) << " requests/s";
    if (!roundTrips.empty()) {
      std::nth_element(roundTrips.begin(), roundTrips.begin() + roundTrips.size() / 2, roundTrips.end());
      env_.err << ", median round trip " << roundTrips[roundTrips.size() / 2] << " ms";
    }
    env_.err << '\n';
  }

  const GlobalOptions& o_;
  Environment env_;
};

// Throws std::invalid_argument when no link or a bad UDP port is named.
void CheckLinkNamed(const LinkOptions& link) {
  if (link.udp.empty() && link.serial.empty()) throw UsageError("name the link: --udp HOST[:PORT] or --serial DEVICE");
  if (link.Udp()) SplitHostPort(link.udp);
}

int Usage(Environment env, const CLI::App& app, const std::string& message) {
  env.err << "veltra-cli: " << message << "\n\n" << app.help();
  return kExitUsage;
}

}  // namespace

int Run(const std::vector<std::string>& args, Environment env) {
  CLI::App app{"Sends the console's requests to the bus and prints the replies.", "veltra-cli"};
  app.require_subcommand(1);
  GlobalOptions o;
  AddLinkOptions(app, o.link);
  app.add_flag("--json", o.json, "one JSON object per request");
  app.add_flag("--show-bytes", o.showBytes, "the frames' bytes in the log lines");
  app.add_option("--scene-db", o.sceneDb, "store confirmed scenes in this scene database");
  app.add_option("--capture", o.capture, "write every frame sent and received to this pcap file (for Wireshark)");
  app.add_option("--repeat", o.repeat, "send the request N times")->check(CLI::Range(1, 100000000));
  app.add_option("--history-file", o.historyFile,
                 "the frame history to read or record into (default: $XDG_STATE_HOME/veltra/history.sqlite)");

  // One parsed-value store per request; the catalogue decides the subcommands.
  const auto requests = Requests();
  std::vector<Parsed> parsed(requests.size());
  std::vector<CLI::App*> leaves(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const RequestSpec& r = requests[i];
    const std::string first(r.words[0]), help(r.help);
    CLI::App* sub = Subcommand(app, first, r.words.size() == 1 ? help : first + " commands");
    if (r.words.size() > 1) {
      sub->require_subcommand(1);
      sub = Subcommand(*sub, std::string(r.words[1]), help);
    }
    Declare(*sub, r, parsed[i]);
    leaves[i] = sub;
  }
  CLI::App* monitor = app.add_subcommand("monitor", "print every valid frame received until interrupted");
  bool record = false;
  monitor->add_flag("--history", record, "record every frame into the frame history (veltra-cli history, stats)");

  ToolCommands tools(app);
  HistoryCommands histories(app);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    env.out << app.help();
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    // Help for the subcommand that was being parsed, when there is one.
    const CLI::App* where = &app;
    for (CLI::App* leaf : leaves)
      if (leaf->parsed()) where = leaf;
    if (monitor->parsed()) where = monitor;
    if (const CLI::App* tool = tools.Chosen()) where = tool;
    if (const CLI::App* history = histories.Chosen()) where = history;
    return Usage(env, *where, error.what());
  }

  if (histories.Chosen()) {
    try {
      return histories.Run(o, env);
    } catch (const std::exception& error) {
      return ReportLinkFailure(env.err, error.what());
    }
  }

  if (const CLI::App* tool = tools.Chosen()) {
    try {
      if (tools.NeedsLink()) CheckLinkNamed(o.link);
    } catch (const std::invalid_argument& error) {
      return Usage(env, *tool, error.what());
    }
    try {
      return tools.Run(o, env);
    } catch (const LinkError& error) {
      return ReportLinkFailure(env.err, error.what(), error.reason());
    } catch (const std::exception& error) {
      return ReportLinkFailure(env.err, error.what());
    }
  }

  std::size_t chosen = 0;
  while (chosen < leaves.size() && !leaves[chosen]->parsed()) ++chosen;
  const bool listen = monitor->parsed();
  if (chosen == leaves.size() && !listen) return Usage(env, app, "no command given");
  const RequestSpec* spec = listen ? nullptr : &requests[chosen];
  const CLI::App& leaf = listen ? *monitor : *leaves[chosen];

  RequestValues values;
  std::string sendTo;
  try {
    if (spec) {
      values = Collect(*spec, parsed[chosen]);
      sendTo = parsed[chosen].to;
    }
    CheckLinkNamed(o.link);
    if (!sendTo.empty() && !o.link.Udp()) throw UsageError("--to needs the UDP link (--udp)");
  } catch (const std::invalid_argument& error) {
    return Usage(env, leaf, error.what());
  }

  Runner runner(o, env);
  std::unique_ptr<SceneDatabase> db;
  std::unique_ptr<CaptureStream> capture;
  std::unique_ptr<history::HistoryWriter> recorder;  // outlives the link, and so commits its last frames
  int result = kExitOk;
  try {
    if (listen && record) {
      recorder = std::make_unique<history::HistoryWriter>(HistoryFileOf(o), "veltra-cli monitor");
      env.err << "veltra-cli: recording the frames into " << recorder->Path() << '\n';
    }
    if (!o.sceneDb.empty() && spec && spec->scene != SceneEffect::None) db = std::make_unique<SceneDatabase>(o.sceneDb);
    if (!o.capture.empty())
      capture = std::make_unique<CaptureStream>(o.capture, o.link.Udp() ? CaptureLinkType::Ipv4 : CaptureLinkType::Serial);
    // The link is closed when this block ends, before the capture is finished.
    const std::unique_ptr<Link> link =
        OpenLink(o.link, sendTo.empty() ? std::nullopt : std::optional<std::string>(sendTo));
    link->SetTap(capture.get());
    link->SetObserver(recorder.get());
    result = spec ? runner.Requests(*link, *spec, values, db.get()) : runner.Listen(*link);
  } catch (const LinkError& error) {
    result = runner.LinkFailure(error.what(), error.reason());
  } catch (const std::exception& error) {
    result = runner.LinkFailure(error.what());
  }
  // What was captured is kept also when the link failed on the way.
  if (capture) {
    try {
      capture->Finish();
    } catch (const CaptureError& error) {
      return runner.LinkFailure(error.what());
    }
  }
  return result;
}

}  // namespace veltra::cli
