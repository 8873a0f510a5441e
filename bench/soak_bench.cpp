// Soak run: many requests through the exchange against the in-process
// simulated bus, which drops and garbles some of its replies, over UDP and
// over the pseudo-terminal, one request in flight. Checks that nothing
// crashes, that every reply that was neither dropped nor garbled is decoded,
// and that resident memory at the end is within 10 % of what it was after the
// first 1,000 requests of the link.
//
//   soak_bench [--requests N] [--drop-every N] [--garbage-every N]
//              [--wait-ms N] [--link udp|serial|both]
//
// Requests are "Read Software Version" to modules 1, 3, 4 and 5 in turn, so a
// reply shows which request it answers. --wait-ms is how long a request
// waits for its reply (the console waits 500 ms on UDP; shorter here, since a
// dropped reply costs the whole wait). Exit status 1 when a check fails.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "link/exchange.h"
#include "link/serial_link.h"
#include "link/udp_link.h"
#include "replies/reply_decoder.h"
#include "sim/simulator_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Options {
  long requests = 100000;
  int dropEvery = 500;
  int garbageEvery = 400;
  int waitMs = 150;
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

// The monitor log kept to its last line, so that memory shows the links,
// not a growing log.
class LastLineLog : public veltra::RequestLog {
 public:
  bool LogMasked() const override { return false; }
  void AppendLog(const std::string& line) override {
    ++lines;
    last = line;
  }
  long lines = 0;
  std::string last;
};

// Replies decoded: answers, each checked against the request it answers,
// and late replies reported apart.
struct Tally {
  long decoded = 0, mismatched = 0, late = 0;

  void Take(const veltra::DecodedReply& reply, int module) {
    if (!reply.logLine) return;
    ++decoded;
    if (reply.effect != veltra::ReplyEffect::Version || reply.text != VersionOf(module)) ++mismatched;
  }
};

struct Result {
  long sent = 0;
  ReplyFates fates;
  long rssBaselineKiB = 0, rssEndKiB = 0;
  double seconds = 0;
};

// Sends the requests one by one through the exchange, each waiting for its
// reply; then takes the replies still on their way.
Result Soak(const char* name, const Options& o, veltra::Link& link, veltra::FrameForm form, Tally& tally) {
  Result r;
  LastLineLog log;
  veltra::Exchange exchange(link, log);
  exchange.timeoutMs = o.waitMs;
  exchange.listenForm = form;
  exchange.onUnmatched = [&](const veltra::UnmatchedFrame& frame) {
    if (frame.kind != veltra::FrameVerdict::Late || !frame.lateFor) return;
    ++tally.late;
    tally.Take(frame.decoded, frame.lateFor->values["ADDR"]);
  };
  const veltra::RequestSpec& readVersion = veltra::Request(veltra::RequestId::ReadVersion);
  const auto start = Clock::now();
  auto lastReport = start;
  for (long i = 0; i < o.requests; ++i) {
    const int module = kModules[i % 4];
    veltra::RequestValues values;
    values.ints["ADDR"] = module;
    const veltra::ExchangeResult e = exchange.Request(veltra::PrepareRequest(readVersion, values, {form, 1}));
    if (e.outcome == veltra::ExchangeOutcome::NotSent || e.outcome == veltra::ExchangeOutcome::Refused) {
      std::fprintf(stderr, "%s: request %ld not sent\n", name, i + 1);
      break;
    }
    if (e.outcome == veltra::ExchangeOutcome::Answered) tally.Take(e.decoded, module);
    ++r.sent;
    if (r.sent == kBaselineRequests) r.rssBaselineKiB = ResidentKiB();
    if (Clock::now() - lastReport > std::chrono::seconds(10)) {
      lastReport = Clock::now();
      std::fprintf(stderr, "  %s: %ld of %ld requests, %ld replies decoded\n", name, r.sent, o.requests,
                   tally.decoded);
    }
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::this_thread::sleep_for(milliseconds(o.waitMs));
  exchange.Poll();
  r.rssEndKiB = ResidentKiB();
  if (r.rssBaselineKiB == 0) r.rssBaselineKiB = r.rssEndKiB;
  r.fates = FatesOf(r.sent, o.dropEvery, o.garbageEvery);
  return r;
}

bool Report(const char* name, const Result& r, const Tally& tally) {
  const double growth =
      100.0 * static_cast<double>(r.rssEndKiB - r.rssBaselineKiB) / static_cast<double>(r.rssBaselineKiB);
  const bool allDecoded = tally.decoded == r.fates.whole;
  const bool rightAnswers = tally.mismatched == 0;
  const bool memoryKept = growth <= 10.0;
  std::printf("%-6s %ld requests in %.1f s (%.0f/s); replies %ld dropped, %ld garbled, %ld whole, %ld decoded "
              "(%ld of them late, reported apart), %ld not their request's %s\n",
              name, r.sent, r.seconds, static_cast<double>(r.sent) / r.seconds, r.fates.dropped, r.fates.garbled,
              r.fates.whole, tally.decoded, tally.late, tally.mismatched,
              allDecoded && tally.mismatched == 0 ? "OK" : "MISSING OR WRONG REPLIES");
  std::printf("%-6s resident memory after %ld requests %ld KiB, at the end %ld KiB (%+.1f %%) %s\n", name,
              kBaselineRequests, r.rssBaselineKiB, r.rssEndKiB, growth, memoryKept ? "OK" : "GREW");
  return allDecoded && rightAnswers && memoryKept;
}

bool SoakUdp(const Options& o, veltra::SimulatorRuntime& sim) {
  veltra::UdpLink link;
  link.Open("127.0.0.1", sim.UdpPort(), 0);
  link.Client().ReceiveTimeout = o.waitMs;
  Tally tally;
  return Report("udp", Soak("udp", o, link, veltra::FrameForm::Routed, tally), tally);
}

bool SoakSerial(const Options& o, veltra::SimulatorRuntime& sim) {
  veltra::SerialLink link;
  link.Port().SetCommName(sim.PtySlavePath());
  // Frames cut by their Length, as the window does; an incomplete one is
  // given up after the line's silence while Receive waits.
  link.SetFraming(veltra::FrameForm::Direct);
  link.ReceiveTimeout = o.waitMs;
  link.Open();
  Tally tally;
  const Result r = Soak("serial", o, link, veltra::FrameForm::Direct, tally);
  link.Close();
  return Report("serial", r, tally);
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
    else if (arg == "--link" && value) {
      ++i;
      o.udp = std::strcmp(value, "serial") != 0;
      o.serial = std::strcmp(value, "udp") != 0;
    } else {
      std::fprintf(stderr, "usage: soak_bench [--requests N] [--drop-every N] [--garbage-every N] [--wait-ms N] "
                           "[--link udp|serial|both]\n");
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
