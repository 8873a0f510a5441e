#include "sim/sim_bus.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "protocol/command_catalogue.h"
#include "protocol/command_numbers.h"
#include "protocol/input_commands.h"

namespace veltra {
namespace {

// System-class commands.
using namespace system_command;

// Light and curtain commands share their numbering up to the all-commands.
constexpr int kSetTime = light_command::SetOnTime;  // curtain: SetTravelTime
constexpr int kOn = light_command::On;              // curtain: Open
constexpr int kOff = light_command::Off;            // curtain: Close
constexpr int kToggle = light_command::Toggle;      // curtain: Stop
constexpr int kAllOn = light_command::AllOn;        // curtain: OpenAll
constexpr int kAllOff = light_command::AllOff;      // curtain: CloseAll
constexpr int kStopAll = curtain_command::StopAll;  // curtain only
static_assert(curtain_command::Open == kOn && curtain_command::StopAll == kAllOff + 1);

constexpr int kLearnOn = infrared_command::LearnOn;
constexpr int kLearnOff = infrared_command::LearnOff;
constexpr int kDeleteCode = infrared_command::DeleteCode;
constexpr int kDeleteAllCodes = infrared_command::DeleteAllCodes;
constexpr int kSendCode = infrared_command::SendCode;

// What the modules take: the ranges of the console's fields.
int FieldMax(RequestId id, std::string_view field) { return Request(id).Field(field).max; }
const int kMaxTurnOnSeconds = FieldMax(RequestId::LightSetOnTime, "SECONDS");
const int kMaxTravelMs = FieldMax(RequestId::CurtainSetTravelTime, "TENTHS") * 100;
const int kMaxScene = FieldMax(RequestId::SetScene, "SCENE");
const int kMaxIrCode = FieldMax(RequestId::InfraredSendCode, "CODE");

constexpr int kDefaultTravelMs = 20000;
constexpr std::size_t kBindingBytes = 6;

bool HasOutputs(const SimModule& m) { return TypeOf(m).HasOutputs(); }

// The class a module takes its output commands in, or -1.
int OutputClass(const SimModule& m) {
  if (m.kind == ModuleKind::Light) return ClassLight;
  if (m.kind == ModuleKind::Curtain) return ClassCurtain;
  if (m.kind == ModuleKind::Infrared) return ClassInfrared;
  return -1;
}

// Whether a request to address 255 is meant for this module.
bool TakesBroadcast(const SimModule& m, int cls, int command) {
  if (cls == ClassSystem) return command == TestScene && HasOutputs(m);
  return cls == OutputClass(m) && cls != ClassInfrared;
}

// Function table of the input module: the requests an input may trigger,
// each with the parameters it takes.
bool Bindable(int cls, int command, int parameter) {
  for (const InputFunction& f : InputFunctions())
    if (f.targetClass == cls && f.targetCommand == command) return parameter <= f.maxParameter;
  return false;
}

// Acknowledgements carry the Status alone: nothing else of them is read, and
// every extra byte could be a 0x11 or 0x13 that a line with XON/XOFF flow
// control swallows.
struct Outcome {
  std::uint8_t status = kStatusOk;
  std::vector<std::uint8_t> params;
};

Outcome Status(std::uint8_t status) { return {status, {}}; }

int Word(std::uint8_t high, std::uint8_t low) { return high * 256 + low; }

// Light and curtain commands on one module.
Outcome ExecuteOutputs(SimModule& m, const SimRequest& r) {
  const int lastCommand = m.kind == ModuleKind::Curtain ? kStopAll : kAllOff;
  if (r.command > lastCommand) return Status(kStatusCommandError);
  const auto& p = r.params;
  if (r.command == kSetTime) {
    if (p.size() != 3 || p[0] >= m.outputs.size()) return Status(kStatusParameterError);
    const int value = Word(p[1], p[2]);
    const int limit = m.kind == ModuleKind::Curtain ? kMaxTravelMs : kMaxTurnOnSeconds;
    if (value > limit) return Status(kStatusParameterError);
    m.times[p[0]] = value;
    return {};
  }
  if (p.size() != 2) return Status(kStatusParameterError);
  if (r.command == kAllOn || r.command == kAllOff) {
    std::fill(m.outputs.begin(), m.outputs.end(), r.command == kAllOn ? 1 : 0);
    return {};
  }
  if (r.command == kStopAll) return {};  // movements end where they are
  if (p[0] >= m.outputs.size()) return Status(kStatusParameterError);
  auto& out = m.outputs[p[0]];
  if (r.command == kOn) out = 1;
  if (r.command == kOff) out = 0;
  // Toggle for lights; Stop for curtains leaves the position as it is.
  if (r.command == kToggle && m.kind == ModuleKind::Light) out = out ? 0 : 1;
  return {};
}

Outcome ExecuteInfrared(SimModule& m, const SimRequest& r) {
  if (r.command > kSendCode) return Status(kStatusCommandError);
  const auto& p = r.params;
  if (p.size() != 2 || p[0] != 1) return Status(kStatusParameterError);
  const int code = p[1];
  switch (r.command) {
    case kLearnOn: m.learning = true; return {};
    case kLearnOff: m.learning = false; return {};
    case kDeleteAllCodes: m.irCodes.clear(); return {};
    case kDeleteCode:
      if (code > kMaxIrCode) return Status(kStatusParameterError);
      m.irCodes.erase(code);
      return {};
    default:  // kSendCode
      if (code > kMaxIrCode) return Status(kStatusParameterError);
      // While learning, the code the installer points at the module is
      // stored under this number; otherwise a stored code is transmitted.
      if (m.learning) {
        m.irCodes.insert(code);
        return {};
      }
      if (!m.irCodes.count(code)) return Status(kStatusParameterError);
      m.irSent.push_back(code);
      return {};
  }
}

Outcome ExecuteSystem(SimModule& m, const SimRequest& r, std::vector<SimModule>& all) {
  const auto& p = r.params;
  switch (r.command) {
    case SetAddress: {
      if (p.size() != 1) return Status(kStatusParameterError);
      const int wanted = p[0];
      if (wanted < kFirstModuleAddress || wanted > kLastModuleAddress)
        return Status(kStatusModuleAddressOutOfRange);
      for (const auto& other : all)
        if (&other != &m && !other.offBus && other.address == wanted) return Status(kStatusAddressOccupied);
      m.address = wanted;
      return {};
    }
    case BindInput: {
      if (!TypeOf(m).TakesBindings()) return Status(kStatusCommandError);
      if (p.size() != 1 + kBindingBytes || p[0] >= m.channels) return Status(kStatusParameterError);
      std::array<std::uint8_t, kBindingBytes> binding{};
      std::copy(p.begin() + 1, p.end(), binding.begin());
      if (std::all_of(binding.begin(), binding.end(), [](std::uint8_t b) { return b == kFiller; })) {
        m.bindings.erase(p[0]);
        return {};
      }
      if (binding[0] > 1 || !Bindable(binding[1], binding[2], binding[5]))
        return Status(kStatusParameterError);
      m.bindings[p[0]] = binding;
      return {};
    }
    case SetScene: {
      if (!HasOutputs(m)) return Status(kStatusCommandError);
      const int count = static_cast<int>(p.size()) - 1;
      if (count < 1 || count > m.channels || p[0] > kMaxScene) return Status(kStatusParameterError);
      for (int i = 1; i <= count; ++i)
        if (p[i] > 1 && p[i] != kFiller) return Status(kStatusParameterError);
      m.scenes[p[0]] = std::vector<std::uint8_t>(p.begin() + 1, p.end());
      return {};
    }
    case ClearScene:
      if (!HasOutputs(m)) return Status(kStatusCommandError);
      if (p.size() != 1 || p[0] > kMaxScene) return Status(kStatusParameterError);
      m.scenes.erase(p[0]);
      return {};
    case TestScene: {
      if (!HasOutputs(m)) return Status(kStatusCommandError);
      if (p.size() != 2 || p[1] > kMaxScene) return Status(kStatusParameterError);
      const auto scene = m.scenes.find(p[1]);
      if (scene != m.scenes.end() && !m.IgnoresScene(p[1]))
        for (std::size_t i = 0; i < scene->second.size(); ++i)
          if (scene->second[i] != kFiller) m.outputs[i] = scene->second[i];
      return {};
    }
    case ReadAddress:
      return {kStatusOk, {static_cast<std::uint8_t>(m.address)}};
    case ReadModuleType: {
      const auto type = TypeOf(m).Bytes();
      return {kStatusOk, {type[0], type[1]}};
    }
    case ReadVersion: {
      const std::string text = ModuleVersion(m);
      return {kStatusOk, std::vector<std::uint8_t>(text.begin(), text.end())};
    }
    case ReadStatus: {
      if (!HasOutputs(m)) return Status(kStatusCommandError);
      Outcome result{kStatusOk, {1}};
      for (auto out : m.outputs) result.params.push_back(out ? 1 : 0);
      return result;
    }
    case TestModule:
      ++m.identifyCount;
      return {};
    case Restore:
      m.Reset();
      return {};
    default:
      return Status(kStatusCommandError);
  }
}

Outcome Execute(SimModule& m, const SimRequest& r, std::vector<SimModule>& all) {
  if (r.cls == ClassSystem) return ExecuteSystem(m, r, all);
  if (r.cls != OutputClass(m)) return Status(kStatusCommandError);
  if (r.cls == ClassInfrared) return ExecuteInfrared(m, r);
  return ExecuteOutputs(m, r);
}

// Parameters a request of this class and command carries, or -1 when it
// varies (SetScene) or the command is unknown.
int ExpectedParameters(int cls, int command) {
  if (cls == ClassInfrared) return command <= kSendCode ? 2 : -1;
  if (cls == ClassLight || cls == ClassCurtain) {
    const int last = cls == ClassCurtain ? kStopAll : kAllOff;
    if (command > last) return -1;
    return command == kSetTime ? 3 : 2;
  }
  return -1;
}

int ParseNumber(std::string_view text, std::string_view what) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty())
    throw std::invalid_argument("bad " + std::string(what) + " '" + std::string(text) + "'");
  return value;
}

ModuleSetup ParseModule(std::string_view item) {
  const auto at = item.find('@');
  if (at == std::string_view::npos)
    throw std::invalid_argument("module '" + std::string(item) + "' has no @address");
  std::string_view kindText = item.substr(0, at);
  std::string_view addressText = item.substr(at + 1);
  ModuleSetup setup;
  int channels = -1;
  if (const auto colon = kindText.find(':'); colon != std::string_view::npos) {
    channels = ParseNumber(kindText.substr(colon + 1), "channel count");
    kindText = kindText.substr(0, colon);
  }
  int maxChannels = 0;
  if (kindText == "light") {
    setup = {ModuleKind::Light, 0, false, 8};
    maxChannels = 8;
  } else if (kindText == "curtain") {
    setup = {ModuleKind::Curtain, 0, false, 4};
    maxChannels = 8;
  } else if (kindText == "ir") {
    setup = {ModuleKind::Infrared, 0, false, 0};
  } else if (kindText == "input") {
    setup = {ModuleKind::Input, 0, false, 8};
    maxChannels = 32;
  } else {
    throw std::invalid_argument("unknown module kind '" + std::string(kindText) + "'");
  }
  if (channels >= 0) {
    if (channels < 1 || channels > maxChannels)
      throw std::invalid_argument("channel count out of range in '" + std::string(item) + "'");
    setup.channels = channels;
  }
  if (addressText == "-") {
    setup.programming = true;
    return setup;
  }
  if (!addressText.empty() && addressText.back() == '*') {
    setup.programming = true;
    addressText.remove_suffix(1);
  }
  setup.address = ParseNumber(addressText, "address");
  if (setup.address < kFirstModuleAddress || setup.address > kLastModuleAddress)
    throw std::invalid_argument("address out of range 1-32 in '" + std::string(item) + "'");
  return setup;
}

}  // namespace

std::vector<ModuleSetup> DefaultPopulation() {
  return {
      {ModuleKind::Light, 1, false, 8},    {ModuleKind::Light, 2, false, 8},
      {ModuleKind::Curtain, 3, false, 4},  {ModuleKind::Infrared, 4, false, 0},
      {ModuleKind::Input, 5, false, 8},    {ModuleKind::Light, 0, true, 8},
  };
}

std::vector<ModuleSetup> ParsePopulation(std::string_view text) {
  if (text == "default") return DefaultPopulation();
  std::vector<ModuleSetup> result;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    if (!item.empty()) {
      const ModuleSetup setup = ParseModule(item);
      for (const auto& other : result)
        if (setup.address != 0 && other.address == setup.address)
          throw std::invalid_argument("address " + std::to_string(setup.address) + " given twice");
      result.push_back(setup);
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return result;
}

void ApplyModuleFault(std::vector<ModuleSetup>& population, std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos)
    throw std::invalid_argument("fault '" + std::string(text) + "' is not ADDR:KIND");
  const int address = ParseNumber(text.substr(0, colon), "address");
  const auto module = std::find_if(population.begin(), population.end(),
                                   [address](const ModuleSetup& m) { return m.address == address; });
  if (module == population.end()) throw std::invalid_argument("no module at address " + std::to_string(address));
  const std::string_view kind = text.substr(colon + 1);
  constexpr std::string_view kOneScene = "ignore-scene=";
  if (kind == "ignore-scenes") {
    module->ignoresScenes = true;
  } else if (kind.starts_with(kOneScene)) {
    const int scene = ParseNumber(kind.substr(kOneScene.size()), "scene number");
    if (scene > kMaxScene) throw std::invalid_argument("scene number out of range 0-50 in '" + std::string(text) + "'");
    module->ignoredScenes.insert(scene);
  } else {
    throw std::invalid_argument("unknown fault '" + std::string(kind) + "' (ignore-scenes, ignore-scene=N)");
  }
}

void SimModule::Reset() {
  const bool hasOutputs = HasOutputs(*this);
  outputs.assign(hasOutputs ? channels : 0, 0);
  times.assign(hasOutputs ? channels : 0, kind == ModuleKind::Curtain ? kDefaultTravelMs : 0);
  scenes.clear();
  learning = false;
  irCodes.clear();
  irSent.clear();
  bindings.clear();
  identifyCount = 0;
}

ModuleType TypeOf(const SimModule& m) { return TypeOf(m.kind, m.channels); }

std::string ModuleVersion(const SimModule& m) {
  switch (m.kind) {
    case ModuleKind::Light: return "Light-" + std::to_string(m.channels) + " V1.0";
    case ModuleKind::Curtain: return "Curtain-" + std::to_string(m.channels) + " V1.0";
    case ModuleKind::Infrared: return "IR V1.0";
    default: return "Input-" + std::to_string(m.channels) + " V1.0";
  }
}

SimFrame BuildReplyFrame(FrameForm form, int subnet, int address, int cls, int command, int status,
                         const std::vector<std::uint8_t>& params) {
  std::array<std::uint8_t, kTransmitBufferSize> buffer{};
  const int length = FrameLength(form, 1 + static_cast<int>(params.size()));
  buffer[2] = static_cast<std::uint8_t>(length);
  if (form == FrameForm::Routed) {
    buffer[3] = static_cast<std::uint8_t>(subnet >> 8);
    buffer[4] = static_cast<std::uint8_t>(subnet);
  }
  const int at = AddressOffset(form);
  buffer[at] = static_cast<std::uint8_t>(address);
  buffer[at + 1] = static_cast<std::uint8_t>(cls);
  buffer[at + 2] = static_cast<std::uint8_t>(command);
  buffer[at + 3] = static_cast<std::uint8_t>(status);
  std::copy(params.begin(), params.end(), buffer.begin() + at + 4);
  CompleteFrame(buffer.data());
  return SimFrame(buffer.begin(), buffer.begin() + buffer[2]);
}

SimFrame BuildRequestFrame(const SimRequest& r, FrameForm form) {
  std::array<std::uint8_t, kTransmitBufferSize> buffer{};
  buffer[2] = static_cast<std::uint8_t>(FrameLength(form, static_cast<int>(r.params.size())));
  if (form == FrameForm::Routed) {
    buffer[3] = static_cast<std::uint8_t>(r.subnet >> 8);
    buffer[4] = static_cast<std::uint8_t>(r.subnet);
  }
  const int at = AddressOffset(form);
  buffer[at] = static_cast<std::uint8_t>(r.address);
  buffer[at + 1] = static_cast<std::uint8_t>(r.cls);
  buffer[at + 2] = static_cast<std::uint8_t>(r.command);
  std::copy(r.params.begin(), r.params.end(), buffer.begin() + at + 3);
  CompleteFrame(buffer.data());
  return SimFrame(buffer.begin(), buffer.begin() + buffer[2]);
}

SimBus::SimBus(const std::vector<ModuleSetup>& population) {
  for (const auto& setup : population) {
    SimModule m;
    m.kind = setup.kind;
    m.address = setup.address;
    m.programming = setup.programming;
    m.channels = setup.channels;
    m.ignoresScenes = setup.ignoresScenes;
    m.ignoredScenes = setup.ignoredScenes;
    m.Reset();
    modules_.push_back(std::move(m));
  }
  record_ = DefaultRecord();
}

BusSwitchRecord SimBus::DefaultRecord() const {
  // Subnet 1, 127.0.0.1 at the served port, mask 255.0.0.0, no gateway,
  // server 127.0.0.1:2002, a locally administered MAC address.
  return {0x00, 0x01,
          127, 0, 0, 1, static_cast<std::uint8_t>(servedPort_ >> 8), static_cast<std::uint8_t>(servedPort_),
          255, 0, 0, 0,
          0, 0, 0, 0,
          127, 0, 0, 1, 0x07, 0xD2,
          0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
}

int SimBus::Subnet() const {
  std::lock_guard lock(mutex_);
  return Word(record_[0], record_[1]);
}

BusSwitchRecord SimBus::Record() const {
  std::lock_guard lock(mutex_);
  return record_;
}

void SimBus::SetServedPort(int port) {
  std::lock_guard lock(mutex_);
  servedPort_ = port;
  record_[6] = static_cast<std::uint8_t>(port >> 8);
  record_[7] = static_cast<std::uint8_t>(port);
}

SimRequest SimBus::PressInput(int address, int input) {
  std::lock_guard lock(mutex_);
  const SimModule* m = At(address);
  if (!m || m->kind != ModuleKind::Input)
    throw std::invalid_argument("no input module at address " + std::to_string(address));
  const auto binding = m->bindings.find(input - 1);
  if (binding == m->bindings.end())
    throw std::invalid_argument("input " + std::to_string(input) + " of module " + std::to_string(address) +
                                " is not bound");
  // mode, class, command, target, output, parameter
  const auto& b = binding->second;
  SimRequest r;
  r.form = FrameForm::Routed;
  r.subnet = Word(record_[0], record_[1]);
  r.cls = b[1];
  r.command = b[2];
  if (r.cls == ClassSystem) {  // a scene, on every module
    r.address = kBroadcastAddress;
    r.params = {kFiller, b[5]};
  } else if (r.command == kAllOn || r.command == kAllOff || (r.cls == ClassCurtain && r.command == kStopAll)) {
    r.address = kBroadcastAddress;
    r.params = {kFiller, kFiller};
  } else {
    r.address = b[3];
    r.params = {b[4], kFiller};
  }
  SimAnswer ignored;
  Dispatch(r, SimLink::Udp, ignored);
  return r;
}

std::optional<SimModule> SimBus::Module(int address) const {
  std::lock_guard lock(mutex_);
  for (const auto& m : modules_)
    if (m.address == address) return m;
  return std::nullopt;
}

std::vector<SimModule> SimBus::Modules() const {
  std::lock_guard lock(mutex_);
  return modules_;
}

bool SimBus::SetOffBus(int address, bool off) {
  std::lock_guard lock(mutex_);
  bool found = false;
  for (auto& m : modules_)
    if (m.address == address && address != 0) {
      m.offBus = off;
      found = true;
    }
  return found;
}

SimModule* SimBus::At(int address) {
  if (address < kFirstModuleAddress || address > kLastModuleAddress) return nullptr;
  for (auto& m : modules_)
    if (m.address == address && !m.offBus) return &m;
  return nullptr;
}

SimAnswer SimBus::Handle(const std::uint8_t* data, std::size_t size, SimLink link) {
  std::lock_guard lock(mutex_);
  return HandleLocked(data, size, link);
}

SimAnswer SimBus::HandleLocked(const std::uint8_t* data, std::size_t size, SimLink link) {
  SimAnswer answer;
  if (size < 8 || size > kTransmitBufferSize || data[0] != kHeader0 || data[1] != kHeader1) {
    answer.note = "not a frame";
    return answer;
  }
  const int length = data[2];
  if (length < 8 || static_cast<std::size_t>(length) > size) {
    answer.note = "bad Length";
    return answer;
  }
  const std::uint16_t sum = FrameChecksum(data, length);
  if (data[length - 2] != (sum >> 8) || data[length - 1] != (sum & 0xFF)) {
    answer.note = "bad checksum";
    return answer;
  }
  answer.request = Parse(data, length, link);
  if (!answer.request) {
    answer.note = "routed to subnet " + std::to_string(Word(data[3], data[4])) +
                  ", this bus switch serves subnet " + std::to_string(Word(record_[0], record_[1]));
    return answer;
  }
  Dispatch(*answer.request, link, answer);
  return answer;
}

std::optional<SimRequest> SimBus::Parse(const std::uint8_t* frame, int length, SimLink link) const {
  const int subnetBytes = Word(frame[3], frame[4]);
  const bool routed = length >= FrameLength(FrameForm::Routed, 0) &&
                      (subnetBytes == kEveryBusSwitchSubnet || subnetBytes == Word(record_[0], record_[1]));
  FrameForm form = routed ? FrameForm::Routed : FrameForm::Direct;
  if (!routed && link == SimLink::Udp) {
    // Infrared requests are the only direct frames the console sends over UDP.
    const int params = length - FrameLength(FrameForm::Direct, 0);
    if (frame[ClassOffset(FrameForm::Direct)] != ClassInfrared ||
        ExpectedParameters(ClassInfrared, frame[CommandOffset(FrameForm::Direct)]) != params)
      return std::nullopt;
  }
  SimRequest r;
  r.form = form;
  r.subnet = routed ? subnetBytes : 0;
  r.address = frame[AddressOffset(form)];
  r.cls = frame[ClassOffset(form)];
  r.command = frame[CommandOffset(form)];
  r.params.assign(frame + FirstParameterOffset(form), frame + length - 2);
  return r;
}

SimFrame SimBus::Reply(const SimRequest& r, SimLink link, int address, int status,
                       const std::vector<std::uint8_t>& params) const {
  const FrameForm form = link == SimLink::Udp ? FrameForm::Routed : r.form;
  const int subnet = r.form == FrameForm::Routed ? r.subnet : Word(record_[0], record_[1]);
  return BuildReplyFrame(form, subnet, address, r.cls | 0x80, r.command, status, params);
}

void SimBus::BusSwitch(const SimRequest& r, SimLink link, SimAnswer& answer) {
  std::uint8_t status = kStatusOk;
  std::vector<std::uint8_t> params;
  const bool everyBusSwitch = r.subnet == kEveryBusSwitchSubnet;
  if (r.command == SetAddress && everyBusSwitch) {
    if (r.params.size() != kBusSwitchRecordSize) {
      status = kStatusParameterError;
    } else {
      std::copy(r.params.begin(), r.params.end(), record_.begin());
      answer.note = "bus switch record stored, subnet " + std::to_string(Word(record_[0], record_[1]));
    }
  } else if (r.command == ReadAddress && everyBusSwitch) {
    params.assign(record_.begin(), record_.end());
  } else if (r.command == ReadModuleType) {
    const auto type = TypeOf(ModuleKind::BusSwitch).Bytes();
    params.assign(type.begin(), type.end());
  } else if (r.command == ReadVersion) {
    const std::string text = kBusSwitchVersion;
    params.assign(text.begin(), text.end());
  } else if (r.command == Restore) {
    record_ = DefaultRecord();
    answer.note = "bus switch restored";
  } else if (r.command != TestModule) {
    status = kStatusCommandError;
  }
  answer.replies.push_back(Reply(r, link, kBroadcastAddress, status, params));
}

void SimBus::Dispatch(const SimRequest& r, SimLink link, SimAnswer& answer) {
  if (r.cls >= 0x80) {
    answer.note = "a reply, not a request";
    return;
  }
  const bool routed = r.form == FrameForm::Routed;
  if (routed && r.subnet == kEveryBusSwitchSubnet) {
    if (r.address == kBroadcastAddress && r.cls == ClassSystem)
      BusSwitch(r, link, answer);
    else
      answer.note = "subnet FFFF addresses the bus switch only";
    return;
  }
  const bool toEveryone = r.address == kBroadcastAddress;
  if (routed && toEveryone && r.cls == ClassSystem &&
      (r.command == ReadModuleType || r.command == ReadVersion || r.command == TestModule ||
       r.command == Restore)) {
    BusSwitch(r, link, answer);
    return;
  }

  // Who hears the request.
  std::vector<SimModule*> targets;
  const bool addressing = r.cls == ClassSystem && (r.command == SetAddress || r.command == ReadAddress);
  if (addressing && toEveryone) {
    for (auto& m : modules_)
      if (m.programming && !m.offBus) targets.push_back(&m);
  } else if (toEveryone) {
    for (auto& m : modules_)
      if (!m.offBus && TakesBroadcast(m, r.cls, r.command)) targets.push_back(&m);
  } else if (SimModule* m = At(r.address)) {
    targets.push_back(m);
  }
  if (targets.empty()) {
    answer.note = toEveryone ? "no module takes this request at address 255"
                             : "no module at address " + std::to_string(r.address);
    return;
  }

  if (toEveryone && !addressing) {
    // Every module acts; the bus answers once for all of them.
    std::uint8_t status = 0;
    for (SimModule* m : targets) {
      const Outcome outcome = Execute(*m, r, modules_);
      if (outcome.status == kStatusOk || status == 0) status = outcome.status;
    }
    answer.replies.push_back(Reply(r, link, kBroadcastAddress, status));
    return;
  }
  for (SimModule* m : targets) {
    const Outcome outcome = Execute(*m, r, modules_);
    answer.replies.push_back(Reply(r, link, m->address, outcome.status, outcome.params));
  }
}

}  // namespace veltra
