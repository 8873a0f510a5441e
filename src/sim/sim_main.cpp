// veltra-sim: a simulated bus on loopback for the console to talk to.
//
//   veltra-sim [--udp-port N | --no-udp] [--pty] [--baud N] [--modules LIST]
//              [--delay-ms N] [--drop-every N] [--garbage | --garbage-every N]
//              [--fault ADDR:KIND]... [--load RATE [--load-to PORT] [--load-bad-every N]]
//   veltra-sim --help | --version
//
// Logs every request and reply to stdout; runs until SIGINT or SIGTERM.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/frame_describe.h"
#include "sim/simulator_runtime.h"

namespace {

constexpr int kDefaultUdpPort = 2001;  // the console's default remote port

void Usage(std::FILE* to) {
  std::fputs(
      "usage: veltra-sim [options]\n"
      "  --udp-port N       bus switch on 127.0.0.1:N (default 2001; 0 picks a free port)\n"
      "  --no-udp           no bus switch\n"
      "  --pty              bus on a pseudo-terminal; prints the serial end to open\n"
      "  --baud N           the pseudo-terminal as slow as a serial line at N baud (default: at once)\n"
      "  --modules LIST     population, e.g. light@1,light:4@2,curtain@3,ir@4,input@5,light@-\n"
      "                     (kind[:channels]@address; '-' no address, 'N*' programming mode)\n"
      "  --delay-ms N       send every reply N ms late\n"
      "  --drop-every N     do not send every N-th reply\n"
      "  --garbage          send garbage instead of every reply\n"
      "  --garbage-every N  send garbage instead of every N-th reply\n"
      "  --fault ADDR:KIND  make a module misbehave: ignore-scenes, ignore-scene=N (repeatable)\n"
      "  --load RATE        send RATE frames a second of a busy bus's traffic, unasked, on each link\n"
      "  --load-to PORT     ... over UDP to 127.0.0.1:PORT (default: the last host that sent a request)\n"
      "  --load-bad-every N ... with every N-th frame's checksum broken\n"
      "  -h, --help         print these options and exit\n"
      "  --version          print the program's name and version and exit\n",
      to);
}

int Number(std::string_view option, const char* text, long largest = 65535) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < 0 || value > largest) {
    std::cerr << "veltra-sim: " << option << " needs a number from 0 to " << largest << ", not '" << text << "'\n";
    std::exit(2);
  }
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  veltra::SimulatorOptions options;
  std::vector<std::string> faults;  // applied once the population is known
  options.udpPort = kDefaultUdpPort;
  options.pty = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::cerr << "veltra-sim: " << arg << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--udp-port") {
      options.udpPort = Number(arg, value());
    } else if (arg == "--no-udp") {
      options.udp = false;
    } else if (arg == "--pty") {
      options.pty = true;
    } else if (arg == "--baud") {
      options.baud = Number(arg, value(), 4000000);
    } else if (arg == "--modules") {
      try {
        options.population = veltra::ParsePopulation(value());
      } catch (const std::exception& e) {
        std::cerr << "veltra-sim: --modules: " << e.what() << "\n";
        return 2;
      }
    } else if (arg == "--fault") {
      faults.emplace_back(value());
    } else if (arg == "--delay-ms") {
      options.faults.delayMs = Number(arg, value());
    } else if (arg == "--drop-every") {
      options.faults.dropEvery = Number(arg, value());
    } else if (arg == "--garbage") {
      options.faults.garbageEvery = 1;
    } else if (arg == "--garbage-every") {
      options.faults.garbageEvery = Number(arg, value());
    } else if (arg == "--load") {
      options.load.rate = Number(arg, value(), 1000000);
    } else if (arg == "--load-to") {
      options.load.udpPort = Number(arg, value());
    } else if (arg == "--load-bad-every") {
      options.load.badEvery = Number(arg, value());
    } else if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else if (arg == "--version") {
      std::cout << "veltra-sim " << VELTRA_VERSION << "\n";
      return 0;
    } else {
      std::cerr << "veltra-sim: " << (arg.starts_with('-') ? "unknown option " : "unexpected argument ") << arg
                << "\n";
      Usage(stderr);
      return 2;
    }
  }
  for (const std::string& fault : faults) {
    try {
      veltra::ApplyModuleFault(options.population, fault);
    } catch (const std::exception& e) {
      std::cerr << "veltra-sim: --fault: " << e.what() << "\n";
      return 2;
    }
  }
  if (!options.udp && !options.pty) {
    std::cerr << "veltra-sim: nothing to serve (--no-udp without --pty)\n";
    return 2;
  }

  // A shell starts background programs with SIGINT ignored, and an ignored
  // signal is discarded before sigwait could take it: restore the default.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  // The serving threads inherit this mask; the main thread takes the signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::mutex out;
  options.log = [&out](const std::string& line) {
    std::lock_guard lock(out);
    std::cout << line << std::endl;
  };

  try {
    veltra::SimulatorRuntime runtime(options);
    {
      std::lock_guard lock(out);
      for (const auto& m : runtime.Bus().Modules()) {
        std::cout << "module " << veltra::KindName(m.kind) << " ";
        std::cout << (m.address ? "at " + std::to_string(m.address) : std::string("without address"));
        if (m.channels) std::cout << ", " << m.channels << (m.kind == veltra::ModuleKind::Input ? " inputs" : " outputs");
        if (m.programming) std::cout << ", programming mode";
        if (m.ignoresScenes) std::cout << ", ignores every scene";
        for (int scene : m.ignoredScenes) std::cout << ", ignores scene " << scene;
        std::cout << "\n";
      }
      std::cout << "bus switch subnet " << runtime.Bus().Subnet() << "\n";
      if (options.udp) std::cout << "UDP bus switch on 127.0.0.1:" << runtime.UdpPort() << "\n";
      if (options.load.rate > 0) std::cout << "load: " << options.load.rate << " frames a second on each link\n";
      // "serial line: PATH" stays as it is, for scripts that read it.
      if (options.pty) std::cout << "serial line: " << runtime.PtySlavePath() << "\n";
      if (options.pty && options.baud > 0) std::cout << "line rate: " << options.baud << " baud\n";
      std::cout << std::flush;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    runtime.Stop();
    std::lock_guard lock(out);
    std::cout << "stopped\n" << std::flush;
  } catch (const std::exception& e) {
    std::cerr << "veltra-sim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
