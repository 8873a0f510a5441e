// Monitor log growth: appends 1,000,000 lines to Memo1 of a shown main window
// (offscreen) and prints the cost per line of the first and the last 100,000
// lines, and the resident memory before and after.
#include <QApplication>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "scratch_state.h"
#include "window_controls.h"
#include "silent_dialogs.h"

using namespace veltra::test;

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const bench::ScratchState state;  // the frame history goes there
  QApplication app(argc, argv);
  bench::SilentDialogs dialogs;
  veltra::MainWindowOptions options;
  options.dialogs = &dialogs;
  options.hostName = [] { return std::optional<std::string>("localhost"); };
  veltra::MainWindow form(options);
  form.resize(1000, 700);
  // Third argument "hidden": the window is never shown.
  if (!(argc > 3 && std::string(argv[3]) == "hidden")) form.show();
  QApplication::processEvents();

  // Optional argument: a smaller line count for profiling.
  const int kLines = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  const int kWindow = kLines / 10;
  // The window gets back to its event loop (and repaints) every so many
  // lines; second argument, 0 for never.
  const int kEventsEvery = argc > 2 ? std::atoi(argv[2]) : 100;
  // Alternating request and reply lines of the unmasked kind, the longest usual ones.
  const std::string send = "Send \xEF\xBC\x9A" "55 AA 0A 00 01 01 00 06 54 A4 ";
  const std::string read = "Read \xEF\xBC\x9A" "55 AA 0D 00 01 01 80 06 01 01 2A 54 17   OK!";
  const long rssBefore = ResidentKiB();
  using Clock = std::chrono::steady_clock;
  double firstNs = 0, lastNs = 0;
  auto windowStart = Clock::now();
  const auto start = windowStart;
  for (int i = 1; i <= kLines; ++i) {
    form.Controller().AppendLog(i % 2 ? send : read);
    if (kEventsEvery > 0 && i % kEventsEvery == 0) QApplication::processEvents();
    if (i == kWindow)
      firstNs = std::chrono::duration<double, std::nano>(Clock::now() - windowStart).count() / kWindow;
    if (i == kLines - kWindow) windowStart = Clock::now();
  }
  lastNs = std::chrono::duration<double, std::nano>(Clock::now() - windowStart).count() / kWindow;
  const double totalS = std::chrono::duration<double>(Clock::now() - start).count();
  const long rssAfter = ResidentKiB();
  std::printf("memo_append: %d lines in %.2f s (events every %d lines)\n", kLines, totalS, kEventsEvery);
  std::printf("  first %d lines: %.2f us/line\n", kWindow, firstNs / 1000);
  std::printf("  last  %d lines: %.2f us/line (ratio %.2f)\n", kWindow, lastNs / 1000, lastNs / firstNs);
  std::printf("  block count %d; RSS %ld MiB before, %ld MiB after (%.0f bytes/line)\n",
              Memo(form)->blockCount(), rssBefore / 1024, rssAfter / 1024,
              (rssAfter - rssBefore) * 1024.0 / kLines);
  return 0;
}
