// What capturing costs: the tap's work per frame (kept in memory for the
// window, written at once for the tool), the memory a kept frame takes, and
// saving 100,000 kept frames as a pcap file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "capture/frame_recorder.h"

namespace {

using namespace veltra;
using Clock = std::chrono::steady_clock;
constexpr int kFrames = 100'000;

double NsPerFrame(Clock::duration elapsed) {
  return std::chrono::duration<double, std::nano>(elapsed).count() / kFrames;
}

long ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main() {
  const Bytes frame{0x55, 0xAA, 0x0C, 0x00, 0x01, 0x01, 0x02, 0x01, 0x00, 0xFF, 0x57, 0xA5};
  const LinkEndpoint local{"0.0.0.0", 2002}, remote{"127.0.0.1", 2001};
  const std::string dir = std::filesystem::temp_directory_path() / ("veltra-capture-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);

  CaptureRecorder recorder;
  const long before = ResidentKb();
  auto start = Clock::now();
  for (int i = 0; i < kFrames; ++i)
    recorder.OnFrame({i % 2 ? FrameDirection::Received : FrameDirection::Sent, frame, std::chrono::system_clock::now(),
                      local, remote});
  const auto kept = Clock::now() - start;
  const long after = ResidentKb();
  start = Clock::now();
  recorder.Save(dir + "/kept.pcap");
  const auto saved = Clock::now() - start;

  CaptureStream stream(dir + "/stream.pcap", CaptureLinkType::Ipv4);
  start = Clock::now();
  for (int i = 0; i < kFrames; ++i)
    stream.OnFrame({i % 2 ? FrameDirection::Received : FrameDirection::Sent, frame, std::chrono::system_clock::now(),
                    local, remote});
  stream.Finish();
  const auto streamed = Clock::now() - start;

  std::printf("%d frames of %zu bytes over UDP\n", kFrames, frame.size());
  std::printf("window, kept in memory: %.0f ns per frame, %.0f bytes per frame\n", NsPerFrame(kept),
              (after - before) * 1024.0 / kFrames);
  std::printf("window, saving them:    %.0f ns per frame (%.1f ms in all, %ju bytes)\n", NsPerFrame(saved),
              std::chrono::duration<double, std::milli>(saved).count(),
              static_cast<std::uintmax_t>(std::filesystem::file_size(dir + "/kept.pcap")));
  std::printf("tool, written at once:  %.0f ns per frame\n", NsPerFrame(streamed));
  std::filesystem::remove_all(dir);
}
