#include "protocol/frame_description.h"

#include <cstdio>

#include "protocol/command_catalogue.h"
#include "protocol/command_numbers.h"
#include "protocol/log_format.h"
#include "protocol/status_words.h"

namespace veltra {
namespace {

constexpr int kMinDirect = 8;
constexpr int kMinRouted = 10;
constexpr std::uint8_t kEveryOne = 0xFF;

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

std::string Dotted(const std::uint8_t* b) {
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

std::string Mac(const std::uint8_t* b) {
  char text[24];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return text;
}

unsigned Word(const std::uint8_t* b) { return static_cast<unsigned>(b[0] << 8 | b[1]); }

// Collects the details of one frame; `b` is the frame, offsets as the
// dissector counts them.
class Details {
 public:
  Details(std::span<const std::uint8_t> frame, std::vector<FrameDetail>& out) : b_(frame.data()), out_(out) {}

  void Add(std::string_view field, std::string value, std::string text) {
    out_.push_back({field, std::move(value), std::move(text)});
  }
  void Filler(int at) { Add("filler", std::to_string(b_[at]), {}); }
  // An output or input number counted from 1; 255 is every one.
  void FromOne(std::string_view field, int at, const std::string& label) {
    if (b_[at] == kEveryOne) {
      Add("filler", "255", label + " every one");
    } else {
      Add(field, std::to_string(b_[at] + 1), label + " " + std::to_string(b_[at] + 1));
    }
  }
  void Parameters(int at, int n) { Add("parameters", HexBytes(b_ + at, n), "parameters " + HexBytes(b_ + at, n)); }
  void Record(int at) {
    const std::uint8_t* r = b_ + at;
    Add("switch.subnet", std::to_string(Word(r)), "subnet ID " + std::to_string(Word(r)));
    Add("switch.ip", Dotted(r + 2), "IP " + Dotted(r + 2));
    Add("switch.port", std::to_string(Word(r + 6)), "port " + std::to_string(Word(r + 6)));
    Add("switch.mask", Dotted(r + 8), "mask " + Dotted(r + 8));
    Add("switch.gateway", Dotted(r + 12), "gateway " + Dotted(r + 12));
    Add("switch.server_ip", Dotted(r + 16), "server " + Dotted(r + 16));
    Add("switch.server_port", std::to_string(Word(r + 20)), "server port " + std::to_string(Word(r + 20)));
    Add("switch.mac", Mac(r + 22), "MAC " + Mac(r + 22));
  }
  std::uint8_t operator[](int at) const { return b_[at]; }

 private:
  const std::uint8_t* b_;
  std::vector<FrameDetail>& out_;
};

bool IsBusSwitchRecord(const FrameDescription& d, int n) {
  return d.form == FrameForm::Routed && d.subnet == 0xFFFF && d.address == kEveryOne &&
         n >= static_cast<int>(kBusSwitchRecordSize);
}

std::string ChannelWord(std::uint8_t code) {
  switch (code) {
    case 0: return "OFF";
    case 1: return "ON";
    case kEveryOne: return "No Change";
    default: return std::to_string(code);
  }
}

std::string Tenths(unsigned tenths) {
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

void OutputTime(Details& d, int p, int n, std::uint8_t cls) {
  d.FromOne("output", p, "Output");
  if (n < 3) return;
  const unsigned value = static_cast<unsigned>(d[p + 1] << 8 | d[p + 2]);
  if (cls == ClassLight) {
    d.Add("turn_on_time", std::to_string(value), "turn-on time " + std::to_string(value) + " s");
    return;
  }
  // The window counts tenths of a second; the frame carries milliseconds.
  const unsigned tenths = value / 100;
  d.Add("travel_time", std::to_string(tenths),
        "travel time " + std::to_string(tenths) + " tenths (" + Tenths(tenths) + " s)");
  d.Add("travel_time_ms", std::to_string(value), {});
}

void Request(const FrameDescription& f, Details& d, int p, int n) {
  namespace sys = system_command;
  if (n <= 0) return;
  const int cls = f.cls, command = f.command;
  if (cls == ClassSystem) {
    if (command == sys::SetAddress && IsBusSwitchRecord(f, n)) {
      d.Record(p);
    } else if (command == sys::SetAddress) {
      d.Add("new_address", std::to_string(d[p]), "new address " + std::to_string(d[p]));
    } else if (command == sys::BindInput && n >= 7) {
      d.FromOne("input", p, "Input");
      if (d[p + 1] == kEveryOne) {
        d.Add("filler", "255", "binding cleared");
        return;
      }
      d.Add("mode", std::to_string(d[p + 1]), d[p + 1] == 0 ? "Button" : d[p + 1] == 1 ? "Switch" : "mode " + std::to_string(d[p + 1]));
      const std::string_view targetClass = ClassName(d[p + 2]);
      const std::string_view targetName = d[p + 2] < 0x80 ? CommandName(d[p + 2], d[p + 3]) : std::string_view{};
      d.Add("target_class", std::to_string(d[p + 2]), {});
      d.Add("target_command", std::to_string(d[p + 3]),
            "target " + (targetName.empty() ? "class " + std::to_string(d[p + 2]) + " command " + std::to_string(d[p + 3])
                                            : std::string(targetClass) + " " + std::string(targetName)));
      d.Add("target_address", std::to_string(d[p + 4]), "address " + std::to_string(d[p + 4]));
      d.FromOne("target_output", p + 5, "output");
      d.Add("parameter", std::to_string(d[p + 6]), "parameter " + std::to_string(d[p + 6]));
    } else if (command == sys::SetScene) {
      d.Add("scene", std::to_string(d[p]), "Scene " + std::to_string(d[p]));
      for (int k = 1; k < n; ++k)
        d.Add("channel", std::to_string(d[p + k]), "CH" + std::to_string(k) + " " + ChannelWord(d[p + k]));
    } else if (command == sys::ClearScene) {
      d.Add("scene", std::to_string(d[p]), "Scene " + std::to_string(d[p]));
    } else if (command == sys::TestScene && n >= 2) {
      d.Filler(p);
      d.Add("scene", std::to_string(d[p + 1]), "Scene " + std::to_string(d[p + 1]));
    } else {
      d.Parameters(p, n);
    }
  } else if ((cls == ClassCurtain || cls == ClassLight) && n >= 2) {
    if (command == 0) {
      OutputTime(d, p, n, f.cls);
    } else {
      d.FromOne("output", p, "Output");
      d.Filler(p + 1);
    }
  } else if (cls == ClassInfrared && n >= 2) {
    d.Add("ir_bank", std::to_string(d[p]), {});
    if (command == infrared_command::DeleteCode || command == infrared_command::SendCode) {
      d.Add("ir_code", std::to_string(d[p + 1]), "Code " + std::to_string(d[p + 1]));
    } else {
      d.Filler(p + 1);
    }
  } else {
    d.Parameters(p, n);
  }
}

void Reply(const FrameDescription& f, Details& d, std::span<const std::uint8_t> bytes, int p, int n) {
  namespace sys = system_command;
  // Only replies to system requests carry results.
  if (f.cls != ClassSystemReply || n <= 0) {
    if (n > 0) d.Parameters(p, n);
    return;
  }
  if (f.command == sys::ReadStatus) {
    d.Add("states_valid", std::to_string(d[p]), {});
    if (d[p] != 1) {
      if (n > 1) d.Parameters(p + 1, n - 1);
      return;
    }
    for (int k = 1; k < n; ++k) {
      const std::uint8_t state = d[p + k];
      d.Add("output_state", Hex(state, 2), "Output " + std::to_string(k) + ((state & 1) ? " on" : " off"));
    }
  } else if (f.command == sys::ReadAddress && IsBusSwitchRecord(f, n)) {
    d.Record(p);
  } else if (f.command == sys::ReadAddress) {
    d.Add("module_address", std::to_string(d[p]), "module address " + std::to_string(d[p]));
  } else if (f.command == sys::ReadModuleType && n >= 2) {
    char type[8];
    std::snprintf(type, sizeof type, "%02X%02X", d[p], d[p + 1]);
    d.Add("module_type", Hex(Word(bytes.data() + p), 4), std::string("module type ") + type);
  } else if (f.command == sys::ReadVersion) {
    // The console shows the text up to its first zero byte.
    std::string text(reinterpret_cast<const char*>(bytes.data() + p), static_cast<std::size_t>(n));
    if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    d.Add("version", text, "version " + text);
  } else {
    d.Parameters(p, n);
  }
}

}  // namespace

bool HasBadChecksum(std::span<const std::uint8_t> bytes) {
  const FrameDescription d = DescribeFrame(bytes, FrameForm::Direct);
  return d.isFrame && !d.truncated && !d.checksumOk;
}

FrameDescription DescribeFrame(std::span<const std::uint8_t> bytes, FrameForm form) {
  FrameDescription f;
  const int left = static_cast<int>(bytes.size());
  if (left < 3 || bytes[0] != kHeader0 || bytes[1] != kHeader1 || bytes[2] < kMinDirect) return f;
  f.isFrame = true;
  const int length = bytes[2];
  f.form = form == FrameForm::Routed && length >= kMinRouted ? FrameForm::Routed : FrameForm::Direct;
  if (length > left) {
    f.truncated = true;
    return f;
  }
  f.trailing = static_cast<std::size_t>(left - length);
  int o = 3;
  if (f.form == FrameForm::Routed) {
    f.subnet = static_cast<std::uint16_t>(Word(bytes.data() + 3));
    o = 5;
  }
  f.address = bytes[o];
  f.cls = bytes[o + 1];
  f.command = bytes[o + 2];
  f.name = CommandName(f.cls, f.command);
  const int p = o + 3;
  const int last = length - 3;  // the last parameter byte
  Details details(bytes, f.details);
  if (f.cls >= 0x80 && p <= last) {
    f.reply = true;
    f.status = bytes[p];
    Reply(f, details, bytes, p + 1, last - p);
  } else {
    Request(f, details, p, last - p + 1);
  }
  f.checksumOk = Word(bytes.data() + length - 2) == FrameChecksum(bytes.data(), length);
  return f;
}

std::string FrameDescription::CommandText() const {
  if (!isFrame || truncated) return {};
  if (!name.empty()) return std::string(name);
  return "Class " + std::to_string(cls & 0x7F) + " Command " + std::to_string(command);
}

std::string FrameDescription::StatusText() const { return status ? StatusWord(*status) : std::string(); }

std::string FrameDescription::DetailsText() const {
  std::string text;
  for (const FrameDetail& d : details) {
    if (d.text.empty()) continue;
    if (!text.empty()) text += ", ";
    text += d.text;
  }
  return text;
}

}  // namespace veltra
