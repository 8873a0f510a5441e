#include "cli/request_commands.h"

#include <algorithm>
#include <map>

#include "plan/site_plan.h"
#include "protocol/address_text.h"
#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"

namespace veltra::cli {

// Where one command's parsed values land. CLI11 keeps pointers to these
// members: they are assigned, never replaced.
struct RequestCommands::Parsed {
  std::map<std::string, int> ints;
  std::map<std::string, std::string> named;  // choices and named values, as given
  std::vector<std::string> tokens;           // channel codes or hex bytes
  std::string to;
  bool yes = false;
  int recordSubnet = 0, recordPort = 0, recordServerPort = 0;
  std::string ip, mask, gateway, serverIp, mac;

  void AssignFrom(const Parsed& d) {
    for (auto& [name, value] : ints) value = d.ints.at(name);
    for (auto& [name, value] : named) value = d.named.at(name);
    tokens.clear();
    to.clear();
    yes = false;
    recordSubnet = recordPort = recordServerPort = 0;
    ip.clear(), mask.clear(), gateway.clear(), serverIp.clear(), mac.clear();
  }
};

namespace {

CLI::App* Subcommand(CLI::App& parent, const std::string& word, const std::string& help) {
  const auto same = parent.get_subcommands([&word](CLI::App* sub) { return sub->get_name() == word; });
  if (!same.empty()) return same.front();
  return parent.add_subcommand(word, help);
}

// "function: ...\n  1 turn-on-light  Turn on Light ..." for the help.
std::string NamedValues(const FieldSpec& f) {
  std::string text = std::string(f.name) + " takes a number or a name:\n";
  for (std::size_t i = 0; i < f.valueNames.size(); ++i)
    text += "  " + std::to_string(f.min + static_cast<int>(i)) + (f.min + i < 10 ? "   " : "  ") +
            std::string(f.valueNames[i]) + "\n";
  return text;
}

template <typename Parsed>
void Declare(CLI::App& sub, const RequestSpec& spec, Parsed& p) {
  std::string footer;
  for (const FieldSpec& f : spec.fields) {
    const std::string name(f.name);
    CLI::Option* option;
    if (!f.choices.empty() || !f.valueNames.empty()) {
      // Taken as text, turned into the value by the catalogue.
      const int first = f.defaultValue.value_or(f.min);
      p.named[name] = !f.choices.empty() ? std::string(f.choices[static_cast<std::size_t>(first)])
                                         : std::to_string(first);
      option = sub.add_option(name, p.named[name], std::string(f.help));
      option->check(CLI::Validator(
          [&f](std::string& text) {
            if (f.ValueOf(text)) return std::string();
            if (!f.choices.empty()) {
              std::string list;
              for (const auto c : f.choices) list += (list.empty() ? "" : ", ") + std::string(c);
              return text + " is not one of " + list;
            }
            return text + " is not a number from " + std::to_string(f.min) + " to " + std::to_string(f.max) +
                   " or one of the names below";
          },
          !f.choices.empty() ? "" : "NAME|" + std::to_string(f.min) + "-" + std::to_string(f.max)));
      if (!f.valueNames.empty()) footer += NamedValues(f);
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
  if (spec.confirm)
    sub.add_flag("--yes", p.yes,
                 spec.target == Target::Module ? "confirm: the module forgets its settings"
                                               : "confirm: the bus switch forgets its settings");
  if (!footer.empty()) sub.footer(footer);
}

// Edit distance, for the suggestion of a command.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The option of this name on app or the commands above it.
const CLI::Option* FindOption(const CLI::App* app, const std::string& name) {
  for (; app; app = app->get_parent())
    if (const CLI::Option* o = app->get_option_no_throw(name)) return o;
  return nullptr;
}

}  // namespace

RequestCommands::RequestCommands(CLI::App& app) {
  const auto requests = Requests();
  for (const RequestSpec& r : requests) {
    parsed_.push_back(std::make_unique<Parsed>());
    const std::string first(r.words[0]), help(r.help);
    CLI::App* sub = Subcommand(app, first, r.words.size() == 1 ? help : first + " commands");
    if (r.words.size() > 1) {
      sub->require_subcommand(1);
      sub = Subcommand(*sub, std::string(r.words[1]), help);
    }
    Declare(*sub, r, *parsed_.back());
    leaves_.push_back(sub);
    defaults_.push_back(*parsed_.back());
  }
}

RequestCommands::~RequestCommands() = default;

const RequestSpec* RequestCommands::Chosen() const {
  for (std::size_t i = 0; i < leaves_.size(); ++i)
    if (leaves_[i]->parsed()) return &Requests()[i];
  return nullptr;
}

const CLI::App* RequestCommands::ChosenCommand() const {
  const CLI::App* deepest = nullptr;
  for (const CLI::App* leaf : leaves_) {
    if (leaf->parsed()) return leaf;
    if (leaf->get_parent() && leaf->get_parent()->parsed() && leaf->get_parent()->get_parent()) deepest = leaf->get_parent();
  }
  return deepest;
}

std::string RequestCommands::SendTo() const {
  for (std::size_t i = 0; i < leaves_.size(); ++i)
    if (leaves_[i]->parsed()) return parsed_[i]->to;
  return {};
}

void RequestCommands::Reset() {
  for (std::size_t i = 0; i < parsed_.size(); ++i) parsed_[i]->AssignFrom(defaults_[i]);
}

RequestValues RequestCommands::Values() const {
  std::size_t i = 0;
  while (i < leaves_.size() && !leaves_[i]->parsed()) ++i;
  if (i == leaves_.size()) throw UsageError("no command given");
  const RequestSpec& spec = Requests()[i];
  const Parsed& p = *parsed_[i];
  RequestValues v;
  for (const auto& [name, value] : p.ints) v.ints[name] = value;
  for (const auto& [name, text] : p.named) {
    const auto value = spec.Field(name).ValueOf(text);
    if (!value) throw UsageError(name + ": " + text + " is not a value it takes");
    v.ints[name] = *value;
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

std::optional<std::string> UnknownCommand(const CLI::App& app, const std::vector<std::string>& args) {
  const CLI::App* at = &app;
  std::string said;  // the command words so far
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") return std::nullopt;
    if (word.size() > 1 && word[0] == '-') {
      // An option: skip its value when it takes one and it was not joined.
      const std::string name = word.substr(0, word.find('='));
      const CLI::Option* o = FindOption(at, name);
      if (o && o->get_items_expected_max() != 0 && word.find('=') == std::string::npos) ++i;
      continue;
    }
    const auto subs = at->get_subcommands([](const CLI::App*) { return true; });
    if (subs.empty()) return std::nullopt;  // positional arguments from here on
    const auto same = std::find_if(subs.begin(), subs.end(), [&](const CLI::App* s) { return s->get_name() == word; });
    if (same != subs.end()) {
      at = *same;
      said += (said.empty() ? "" : " ") + word;
      continue;
    }
    // The nearest command at most two edits away.
    std::string best;
    std::size_t bestDistance = 3;
    for (const CLI::App* s : subs) {
      const std::size_t d = Distance(word, s->get_name());
      if (d < bestDistance) {
        bestDistance = d;
        best = s->get_name();
      }
    }
    const std::string prefix = said.empty() ? "" : said + " ";
    std::string message = "unknown command '" + prefix + word + "'";
    if (!best.empty()) message += "; did you mean '" + prefix + best + "'?";
    return message;
  }
  return std::nullopt;
}

}  // namespace veltra::cli
