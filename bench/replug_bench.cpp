// Unplug and replug cycles of an adapter under a serial link that recovers:
// a pseudo-terminal behind a symlink in a scratch folder, pulled (symlink and
// both ends gone) and plugged back (a new pseudo-terminal, whatever its
// number, behind the same symlink), a frame each way after every reopen.
// Prints the open file descriptors, threads and resident memory before and
// after, and the time from the plug to the link open again.
//
//   replug_bench [--cycles N]    (default 1,000; 10 warm-up cycles first)
//
// Exit status 1 when a cycle fails or descriptors or threads grew.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "loopback_udp.h"
#include "../tests/serial/pty_fixture.h"
#include "../tests/serial/replug_cycles.h"
#include "link/serial_link.h"

namespace {

}  // namespace

int main(int argc, char** argv) {
  int cycles = 1000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--cycles") == 0 && i + 1 < argc) {
      cycles = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: replug_bench [--cycles N]\n");
      return 2;
    }
  }
  using namespace veltra;
  test::ScratchFolder scratch;
  if (!scratch.ok()) return 1;
  std::filesystem::create_directory(scratch / "by-id");
  test::PluggablePty adapter(scratch / "by-id/usb-Veltra_Bench_Adapter-if00-port0");
  if (!adapter.Plug()) {
    std::fprintf(stderr, "no pseudo-terminal\n");
    return 1;
  }
  SerialLink link;
  link.SetFraming(FrameForm::Direct);
  veltra::SerialRecovery recovery;
  recovery.enabled = true;
  recovery.stableFolder = scratch / "by-id";
  link.SetRecovery(recovery);
  SerialSettings settings;
  settings.device = adapter.link();
  settings.baudRate = 19200;
  link.Configure(settings);
  link.Open();

  const test::ReplugFigures figures = test::RunReplugCycles(link, adapter, cycles, 10);
  link.Close();
  std::printf("unplug/replug cycles: %d of %d\n", figures.cycles, cycles);
  std::printf("file descriptors: %d before, %d after\n", figures.before.fds, figures.after.fds);
  std::printf("threads:          %d before, %d after\n", figures.before.threads, figures.after.threads);
  std::printf("resident memory:  %ld KiB before, %ld KiB after (%+ld KiB)\n", figures.before.residentKb,
              figures.after.residentKb, figures.after.residentKb - figures.before.residentKb);
  const auto& ms = figures.reopenMs;
  if (!ms.empty()) {
    const bench::Percentiles reopen = bench::Summarise(ms);
    std::printf("reopen after plug: median %.2f ms, p99 %.2f ms, max %.2f ms\n", reopen.median, reopen.p99,
                *std::max_element(ms.begin(), ms.end()));
  }
  if (!figures.failure.empty()) {
    std::printf("stopped: %s\n", figures.failure.c_str());
    return 1;
  }
  const bool grew = figures.after.fds != figures.before.fds || figures.after.threads != figures.before.threads;
  if (grew) std::printf("descriptors or threads grew\n");
  return grew ? 1 : 0;
}
