// veltra-cli: the console's requests from the command line. See cli_app.h.
//
// SIGINT and SIGTERM are taken by a thread of their own (sigwait), which
// raises the stop: every wait of the link ends at once, nothing more is
// sent, the command reports what it did and exits with 128 + the signal's
// number. A second signal ends the program at once, as the signal would.
#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <iostream>
#include <thread>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  // A shell starts background programs with SIGINT ignored, and an ignored
  // signal is dropped before sigwait could take it: the defaults first.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // Every thread started from here on (the serial line's reader and writer,
  // the capture's flusher) inherits the mask: the signals come to sigwait.
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  // Never destroyed: the thread may still take a signal while the program ends.
  static veltra::StopSignal* const stop = new veltra::StopSignal();
  std::thread([stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    stop->Raise(signal);
    sigwait(&stopSignals, &signal);
    // Asked twice: as if nothing had caught the signal.
    std::signal(signal, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    raise(signal);
  }).detach();

  return veltra::cli::Run({argv + 1, argv + argc}, {std::cout, std::cerr, stop, nullptr});
}
