#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "capture/frame_recorder.h"
#include "cli/command_table.h"
#include "cli/link_options.h"
#include "cli/result_output.h"
#include "link/serial_link.h"
#include "scenes/scene_commands.h"
#include "scenes/scene_store.h"

namespace veltra::cli {
namespace {

// A usage error found after parsing: refused before anything is sent.
// How long the serial line may take to send what is queued before the tool ends.
constexpr int kFlushMs = 2000;

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

struct GlobalOptions {
  LinkOptions link;
  bool json = false;
  bool showBytes = false;
  std::string sceneDb;
  std::string capture;
  int repeat = 1;
};

CLI::App* Subcommand(CLI::App& parent, const std::string& word, const std::string& help) {
  const auto same = parent.get_subcommands([&word](CLI::App* sub) { return sub->get_name() == word; });
  if (!same.empty()) return same.front();
  return parent.add_subcommand(word, help);
}

void Declare(CLI::App& sub, const Command& command, Parsed& p) {
  for (const Argument& a : command.arguments) {
    CLI::Option* option;
    if (!a.choices.empty()) {
      p.choices[a.name] = a.choices[static_cast<std::size_t>(a.defaultValue.value_or(0))];
      option = sub.add_option(a.name, p.choices[a.name], a.help)->check(CLI::IsMember(a.choices));
    } else {
      p.ints[a.name] = a.defaultValue.value_or(a.min);
      option = sub.add_option(a.name, p.ints[a.name], a.help)->check(CLI::Range(a.min, a.max));
    }
    if (a.defaultValue) {
      option->capture_default_str();
    } else {
      option->required();
    }
  }
  switch (command.extra) {
    case Extra::Channels:
      sub.add_option("CH", p.tokens, "one code per output: 0 off, 1 on, X no change (1 to 8)")
          ->required()
          ->expected(1, kChannelCount);
      break;
    case Extra::RawFrame:
      sub.add_option("HEX", p.tokens, "the frame from its Length byte on, in hexadecimal")->required();
      break;
    case Extra::BroadcastTarget:
      sub.add_option("--to", p.to, "send to this host (e.g. a broadcast address) instead of the --udp host");
      break;
    case Extra::BusSwitchRecord:
      sub.add_option("--subnet-id", p.recordSubnet, "subnet ID (0-65535)")->required()->check(CLI::Range(0, 65535));
      sub.add_option("--ip", p.ip, "IP address A.B.C.D")->required();
      sub.add_option("--port", p.recordPort, "port (0-65535)")->required()->check(CLI::Range(0, 65535));
      sub.add_option("--mask", p.mask, "subnet mask A.B.C.D")->required();
      sub.add_option("--gateway", p.gateway, "gateway A.B.C.D")->required();
      sub.add_option("--server-ip", p.serverIp, "server IP address A.B.C.D")->required();
      sub.add_option("--server-port", p.recordServerPort, "server port (0-65535)")->required()->check(CLI::Range(0, 65535));
      sub.add_option("--mac", p.mac, "MAC address XX:XX:XX:XX:XX:XX")->required();
      break;
    case Extra::None:
    case Extra::Listen:
      break;
  }
  if (command.needsYes) sub.add_flag("--yes", p.yes, "confirm: the module forgets its settings");
}

// The parsed text turned into the command's values; bad values throw UsageError.
Values Collect(const Command& command, const Parsed& p) {
  Values v;
  v.ints = p.ints;
  for (const Argument& a : command.arguments) {
    if (a.choices.empty()) continue;
    const auto at = std::find(a.choices.begin(), a.choices.end(), p.choices.at(a.name));
    v.ints[a.name] = static_cast<int>(at - a.choices.begin());
  }
  if (command.needsYes && !p.yes) throw UsageError("this command changes the device for good: confirm it with --yes");
  try {
    switch (command.extra) {
      case Extra::Channels:
        for (const std::string& code : p.tokens) v.channelItems.push_back(ParseChannelCode(code));
        break;
      case Extra::RawFrame:
        v.raw = ParseHexBytes(p.tokens);
        CheckRawFrame(v.raw);
        break;
      case Extra::BusSwitchRecord: {
        BusSwitchRecord& r = v.record;
        r[0] = High8(p.recordSubnet);
        r[1] = Low8(p.recordSubnet);
        auto put = [&r](std::size_t at, const auto& bytes) { std::copy(bytes.begin(), bytes.end(), r.begin() + at); };
        put(2, ParseIpv4(p.ip));
        r[6] = High8(p.recordPort);
        r[7] = Low8(p.recordPort);
        put(8, ParseIpv4(p.mask));
        put(12, ParseIpv4(p.gateway));
        put(16, ParseIpv4(p.serverIp));
        r[20] = High8(p.recordServerPort);
        r[21] = Low8(p.recordServerPort);
        put(22, ParseMac(p.mac));
        break;
      }
      case Extra::BroadcastTarget:
        v.to = p.to;
        break;
      case Extra::None:
      case Extra::Listen:
        break;
    }
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
  return v;
}

int ExitFor(const Exchange& e) {
  if (e.outcome == SendOutcome::NoReply) return kExitNoReply;
  if (e.outcome != SendOutcome::Replied) return kExitLinkError;
  return e.status == 1 ? kExitOk : kExitErrorStatus;
}

// The scene table of --scene-db, written with the window's rules when a
// module confirms a scene.
class SceneDatabase {
 public:
  explicit SceneDatabase(const std::string& path) {
    // Qt SQL finds its driver through an application object.
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "veltra-cli";
      static char* argv[] = {name, nullptr};
      app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    store_ = std::make_unique<SceneStore>();
    if (!store_->OpenSceneFile(QString::fromStdString(path)))
      throw std::runtime_error("cannot open the scene database: " + store_->OpenError().toStdString());
  }
  ~SceneDatabase() {
    store_.reset();
  }
  SceneStore& Store() { return *store_; }

 private:
  std::unique_ptr<QCoreApplication> app_;
  std::unique_ptr<SceneStore> store_;
};

void ApplySceneEffect(const Command& command, const Values& v, const Exchange& e, SceneDatabase* db) {
  if (!db || e.outcome != SendOutcome::Replied) return;
  if (command.scene == SceneEffect::Save && e.decoded.effect == ReplyEffect::SaveScene) {
    std::array<QString, kChannelCount> codes;
    for (std::size_t k = 0; k < codes.size(); ++k)
      codes[k] = QString::fromStdString(ChannelCode(k < v.channelItems.size() ? v.channelItems[k] : kNoChangeItem));
    db->Store().SaveSceneRecord(v["SCENE"], v["ADDR"], codes);
  } else if (command.scene == SceneEffect::DeleteModule && e.decoded.effect == ReplyEffect::DeleteModuleScenes) {
    db->Store().DeleteModuleScenes(v["ADDR"]);
  }
}

class Runner {
 public:
  Runner(const GlobalOptions& options, Environment env) : o_(options), env_(env) {}

  int Listen(Link& link) {
    RequestSession session(link, o_.link.Form(), o_.link.timeoutMs);
    session.masked = !o_.showBytes;
    if (!o_.json) session.onLogLine = [this](const std::string& line) { env_.out << line << '\n' << std::flush; };
    const std::size_t statusAt = static_cast<std::size_t>(AddressOffset(o_.link.Form()) + 3);
    while (!(env_.stop && env_.stop->load())) {
      Bytes frame;
      const auto reply = session.Listen(200, &frame);
      if (!reply) {
        if (HungUp(link)) return LinkFailure("the serial line hung up");
        continue;
      }
      if (o_.json) {
        env_.out << FrameJson(frame, *reply, statusAt).dump() << '\n' << std::flush;
      } else {
        for (const std::string& line : ResultLines(*reply)) env_.out << line << '\n';
        env_.out << std::flush;
      }
    }
    return kExitOk;
  }

  int Requests(Link& link, const Command& command, const Values& values, SceneDatabase* db) {
    RequestSession session(link, o_.link.Form(), o_.link.timeoutMs);
    session.masked = !o_.showBytes;
    if (!o_.json) session.onLogLine = [this](const std::string& line) { env_.out << line << '\n'; };
    const RequestContext context{{o_.link.Form(), o_.link.subnet}, o_.link.subnet};
    int exit = kExitOk;
    std::vector<double> roundTrips;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < o_.repeat; ++i) {
      TransmitBuffer buffer{};
      command.build(buffer, context, values);
      const Exchange e = session.Request(buffer);
      if (e.transmit == TransmitStatus::NotOpen) return LinkFailure("the link is not open: request not sent");
      if (e.transmit == TransmitStatus::Refused) return LinkFailure("the serial line no longer takes data");
      if (e.outcome == SendOutcome::NoReply && HungUp(link)) return LinkFailure("the serial line hung up");
      Print(e);
      ApplySceneEffect(command, values, e, db);
      if (e.outcome == SendOutcome::Replied) roundTrips.push_back(e.roundTripMs);
      if (exit == kExitOk) exit = ExitFor(e);
    }
    if (o_.repeat > 1) Summary(roundTrips, std::chrono::steady_clock::now() - start);
    // A request that waited for nothing may still be queued for the line.
    if (auto* serial = dynamic_cast<SerialLink*>(&link); serial && !serial->Flush(kFlushMs))
      return LinkFailure("the serial line did not take the request in time");
    return exit;
  }

  int LinkFailure(const std::string& text, const std::string& reason = {}) {
    env_.err << "veltra-cli: " << text;
    if (!reason.empty() && text.find(reason) == std::string::npos) env_.err << " (" << reason << ")";
    env_.err << '\n';
    return kExitLinkError;
  }

 private:
  static bool HungUp(Link& link) {
    const auto* serial = dynamic_cast<SerialLink*>(&link);
    return serial && serial->HungUp();
  }

  void Print(const Exchange& e) {
    if (o_.json) {
      env_.out << ExchangeJson(e).dump() << '\n';
      return;
    }
    if (e.outcome == SendOutcome::NoReply) {
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

  // One parsed-value store per command; the table decides the subcommands.
  const auto commands = Commands();
  std::vector<Parsed> parsed(commands.size());
  std::vector<CLI::App*> leaves(commands.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const Command& c = commands[i];
    CLI::App* sub = Subcommand(app, c.words[0], c.words.size() == 1 ? c.help : c.words[0] + " commands");
    if (c.words.size() > 1) {
      sub->require_subcommand(1);
      sub = Subcommand(*sub, c.words[1], c.help);
    }
    Declare(*sub, c, parsed[i]);
    leaves[i] = sub;
  }

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
    return Usage(env, *where, error.what());
  }

  std::size_t chosen = 0;
  while (chosen < leaves.size() && !leaves[chosen]->parsed()) ++chosen;
  if (chosen == leaves.size()) return Usage(env, app, "no command given");
  const Command& command = commands[chosen];
  const CLI::App& leaf = *leaves[chosen];

  Values values;
  try {
    values = Collect(command, parsed[chosen]);
    if (o.link.udp.empty() && o.link.serial.empty()) throw UsageError("name the link: --udp HOST[:PORT] or --serial DEVICE");
    if (o.link.Udp()) SplitHostPort(o.link.udp);
    if (!values.to.empty() && !o.link.Udp()) throw UsageError("--to needs the UDP link (--udp)");
  } catch (const std::invalid_argument& error) {
    return Usage(env, leaf, error.what());
  }

  Runner runner(o, env);
  std::unique_ptr<SceneDatabase> db;
  std::unique_ptr<CaptureStream> capture;
  int result = kExitOk;
  try {
    if (!o.sceneDb.empty() && command.scene != SceneEffect::None) db = std::make_unique<SceneDatabase>(o.sceneDb);
    if (!o.capture.empty())
      capture = std::make_unique<CaptureStream>(o.capture, o.link.Udp() ? CaptureLinkType::Ipv4 : CaptureLinkType::Serial);
    // The link is closed when this block ends, before the capture is finished.
    const std::unique_ptr<Link> link =
        OpenLink(o.link, values.to.empty() ? std::nullopt : std::optional<std::string>(values.to));
    link->SetTap(capture.get());
    result = command.extra == Extra::Listen ? runner.Listen(*link) : runner.Requests(*link, command, values, db.get());
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
