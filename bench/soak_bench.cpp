// Soak run: many requests through the send path against the in-process
// simulated bus, which drops and garbles some of its replies, over UDP and
// over the pseudo-terminal, one request in flight. Checks that nothing
// crashes, that every reply that was neither dropped nor garbled is decoded,
// and that resident memory at the end is within 10 % of what it was after the
// first 1,000 requests of the link.
//
//   soak_bench [--requests N] [--drop-every N] [--garbage-every N]
//              [--wait-ms N] [--read-interval-ms N] [--link udp|serial|both]
//
// Requests are "Read Software Version" to modules 1, 3, 4 and 5 in turn, so a
// reply shows which request it answers. --wait-ms is how long a request
// waits for its reply (the console waits 500 ms on UDP; shorter here, since a
// dropped reply costs the whole wait). --read-interval-ms is the serial
// reader's gap that ends a chunk; 0 hands over every read at once. Exit
// status 1 when a check fails.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "net/udp_client.h"
#include "protocol/frame_assembler.h"
#include "protocol/module_commands.h"
#include "protocol/send_path.h"
#include "replies/reply_decoder.h"
#include "serial/comm.h"
#include "sim/simulator_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Options {
  long requests = 100000;
  int dropEvery = 500;
  int garbageEvery = 400;
  int waitMs = 150;
  int readIntervalMs = 0;
  bool udp = true;
  bool serial = true;
};

constexpr long kBaselineRequests = 1000;
constexpr int kModules[] = {1, 3, 4, 5};

std::string VersionOf(int module) {
  switch (module) {
    case 1: return "Light-8 V1.0";
    case 3: return "Curtain-4 V1.0";
    case 4: return "IR V1.0";
    default: return "Input-8 V1.0";
  }
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// What the simulator does with replies 1..n: the n-th of every dropEvery is
// not sent, and of the rest the n-th of every garbageEvery is garbled.
struct ReplyFates {
  long dropped = 0, garbled = 0, whole = 0;
};

ReplyFates FatesOf(long n, int dropEvery, int garbageEvery) {
  ReplyFates fates;
  for (long k = 1; k <= n; ++k) {
    if (dropEvery > 0 && k % dropEvery == 0)
      ++fates.dropped;
    else if (garbageEvery > 0 && k % garbageEvery == 0)
      ++fates.garbled;
    else
      ++fates.whole;
  }
  return fates;
}

// Serial notifications, queued by the reader and writer threads and handed
// to the component on the soak's own thread.
class QueueSink : public veltra::CommNotificationSink {
 public:
  bool Post(veltra::CommMessage message) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(message));
    }
    ready_.notify_one();
    return true;
  }
  std::optional<veltra::CommMessage> Wait(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_until(lock, until, [this] { return !queue_.empty(); })) return std::nullopt;
    veltra::CommMessage message = std::move(queue_.front());
    queue_.pop_front();
    return message;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<veltra::CommMessage> queue_;
};

// What the send path needs, with the monitor log kept to its last line so
// that memory shows the links, not a growing log.
class SoakLinks : public veltra::RequestLinks {
 public:
  bool network = true;
  veltra::TIdUDPClient* udp = nullptr;
  veltra::TComm* comm = nullptr;
  std::string expected;  // version text of the request in flight
  long decoded = 0, mismatched = 0, logLines = 0;
  std::string lastLine;

  bool NetworkSelected() const override { return network; }
  bool LogMasked() const override { return false; }
  void AppendLog(const std::string& line) override {
    ++logLines;
    lastLine = line;
  }
  void SendDatagram(const std::string& bytes) override { udp->SendDatagram(bytes); }
  std::string ReceiveDatagram(int timeoutMs) override { return udp->ReceiveDatagram(timeoutMs); }
  void ReceiveDeal(const std::string& bytes) override {
    Take(veltra::DecodeRouted(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), false));
  }
  bool WriteData(const std::uint8_t* bytes, std::uint16_t length) override { return comm->WriteData(bytes, length); }

  void Take(const veltra::DecodedReply& reply) {
    if (!reply.logLine) return;
    AppendLog(*reply.logLine);
    ++decoded;
    if (reply.effect != veltra::ReplyEffect::Version || reply.text != expected) ++mismatched;
  }
};

struct Result {
  long sent = 0;
  ReplyFates fates;
  long rssBaselineKiB = 0, rssEndKiB = 0;
  double seconds = 0;
};

// Sends the requests one by one; `exchange` sends one and waits for it.
template <typename Exchange>
Result Soak(const char* name, const Options& o, SoakLinks& links, Exchange exchange) {
  Result r;
  veltra::TransmitBuffer buffer{};
  const auto start = Clock::now();
  auto lastReport = start;
  for (long i = 0; i < o.requests; ++i) {
    const int module = kModules[i % 4];
    links.expected = VersionOf(module);
    veltra::BuildModuleCommand(buffer, veltra::ModuleCommand::ReadVersion,
                               {links.network ? veltra::FrameForm::Routed : veltra::FrameForm::Direct, 1}, module);
    exchange(buffer);
    ++r.sent;
    if (r.sent == kBaselineRequests) r.rssBaselineKiB = ResidentKiB();
    if (Clock::now() - lastReport > std::chrono::seconds(10)) {
      lastReport = Clock::now();
      std::fprintf(stderr, "  %s: %ld of %ld requests, %ld replies decoded\n", name, r.sent, o.requests,
                   links.decoded);
    }
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.rssEndKiB = ResidentKiB();
  if (r.rssBaselineKiB == 0) r.rssBaselineKiB = r.rssEndKiB;
  return r;
}

bool Report(const char* name, const Result& r, const SoakLinks& links) {
  const double growth =
      100.0 * static_cast<double>(r.rssEndKiB - r.rssBaselineKiB) / static_cast<double>(r.rssBaselineKiB);
  const bool allDecoded = links.decoded == r.fates.whole;
  const bool memoryKept = growth <= 10.0;
  std::printf("%-6s %ld requests in %.1f s (%.0f/s); replies %ld dropped, %ld garbled, %ld whole, %ld decoded "
              "(%ld of them late, answering an earlier request) %s\n",
              name, r.sent, r.seconds, static_cast<double>(r.sent) / r.seconds, r.fates.dropped, r.fates.garbled,
              r.fates.whole, links.decoded, links.mismatched, allDecoded ? "OK" : "MISSING REPLIES");
  std::printf("%-6s resident memory after %ld requests %ld KiB, at the end %ld KiB (%+.1f %%) %s\n", name,
              kBaselineRequests, r.rssBaselineKiB, r.rssEndKiB, growth, memoryKept ? "OK" : "GREW");
  return allDecoded && memoryKept;
}

bool SoakUdp(const Options& o, veltra::SimulatorRuntime& sim) {
  veltra::TIdUDPClient client;
  client.Host = "127.0.0.1";
  client.Port = sim.UdpPort();
  client.ReceiveTimeout = o.waitMs;
  client.BindLocalPort();
  SoakLinks links;
  links.network = true;
  links.udp = &client;
  Result r = Soak("udp", o, links, [&](veltra::TransmitBuffer& buffer) { veltra::SendDataDeal(buffer, links); });
  // A reply later than the wait is read by the next request; the last one
  // may still be on its way.
  for (std::string late; !(late = client.ReceiveDatagram(o.waitMs)).empty();) links.ReceiveDeal(late);
  r.fates = FatesOf(r.sent, o.dropEvery, o.garbageEvery);
  return Report("udp", r, links);
}

bool SoakSerial(const Options& o, veltra::SimulatorRuntime& sim) {
  auto sink = std::make_shared<QueueSink>();
  veltra::TComm comm(sink);
  comm.SetCommName(sim.PtySlavePath());
  // A binary bus: 0x11 and 0x13 are data, not flow control.
  comm.SetOutx_XonXoffFlow(false);
  comm.SetInx_XonXoffFlow(false);
  comm.SetReadIntervalTimeout(o.readIntervalMs > 0 ? static_cast<std::uint32_t>(o.readIntervalMs) : 0xFFFFFFFFu);
  comm.OpenPort();
  veltra::FrameAssembler assembler(veltra::FrameForm::Direct);
  SoakLinks links;
  links.network = false;
  links.comm = &comm;
  comm.OnReceiveData = [&](veltra::TComm&, const std::uint8_t* bytes, std::uint16_t length) {
    for (const auto& frame : assembler.Feed(bytes, length, Clock::now()))
      links.Take(veltra::DecodeDirect(frame.data(), frame.size(), false));
  };
  // Handles notifications until a reply is decoded or the wait is over;
  // at the end of the wait an incomplete frame is given up.
  auto pump = [&](milliseconds wait) {
    const long before = links.decoded;
    const auto until = Clock::now() + wait;
    while (links.decoded == before) {
      auto message = sink->Wait(until);
      if (!message) break;
      comm.HandleNotification(std::move(*message));
    }
    if (links.decoded == before) {
      for (const auto& frame : assembler.Expire(Clock::now() + veltra::FrameAssembler::kSilenceLimit))
        links.Take(veltra::DecodeDirect(frame.data(), frame.size(), false));
    }
  };
  Result r = Soak("serial", o, links, [&](veltra::TransmitBuffer& buffer) {
    veltra::SendDataDeal(buffer, links);
    pump(milliseconds(o.waitMs));
  });
  pump(milliseconds(o.waitMs));
  comm.ClosePort();
  r.fates = FatesOf(r.sent, o.dropEvery, o.garbageEvery);
  return Report("serial", r, links);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto number = [&] {
      if (!value) {
        std::fprintf(stderr, "%s needs a value\n", arg.c_str());
        std::exit(2);
      }
      ++i;
      return std::atol(value);
    };
    if (arg == "--requests") o.requests = number();
    else if (arg == "--drop-every") o.dropEvery = static_cast<int>(number());
    else if (arg == "--garbage-every") o.garbageEvery = static_cast<int>(number());
    else if (arg == "--wait-ms") o.waitMs = static_cast<int>(number());
    else if (arg == "--read-interval-ms") o.readIntervalMs = static_cast<int>(number());
    else if (arg == "--link" && value) {
      ++i;
      o.udp = std::strcmp(value, "serial") != 0;
      o.serial = std::strcmp(value, "udp") != 0;
    } else {
      std::fprintf(stderr, "usage: soak_bench [--requests N] [--drop-every N] [--garbage-every N] [--wait-ms N] "
                           "[--read-interval-ms N] [--link udp|serial|both]\n");
      std::exit(2);
    }
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  veltra::SimulatorOptions simOptions;
  simOptions.faults.dropEvery = o.dropEvery;
  simOptions.faults.garbageEvery = o.garbageEvery;
  veltra::SimulatorRuntime sim(simOptions);
  std::printf("soak: %ld requests per link, every %d-th reply dropped, every %d-th garbled, wait %d ms\n", o.requests,
              o.dropEvery, o.garbageEvery, o.waitMs);
  bool ok = true;
  if (o.udp) ok = SoakUdp(o, sim) && ok;
  if (o.serial) ok = SoakSerial(o, sim) && ok;
  return ok ? 0 : 1;
}
