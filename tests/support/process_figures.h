#pragma once
// What the process holds now: open file descriptors, threads and resident
// memory, from /proc/self. For endurance tests and benchmarks.
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace veltra::test {

struct ProcessFigures {
  int fds = 0;
  int threads = 0;
  long residentKb = 0;
};

inline int EntriesOf(const char* folder) {
  int count = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) ++count;
  return count;
}

inline ProcessFigures MeasureProcess() {
  ProcessFigures figures;
  figures.fds = EntriesOf("/proc/self/fd") - 1;  // the listing's own descriptor
  figures.threads = EntriesOf("/proc/self/task");
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  figures.residentKb = resident * (::sysconf(_SC_PAGESIZE) / 1024);
  return figures;
}

}  // namespace veltra::test
