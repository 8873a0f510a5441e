// Serial component over a pseudo-terminal: frames written with WriteData,
// echoed by the far end and collected by the reader, beside a plain
// write/read loop over the same pty pair; and the time from the last byte
// of a reply to its OnReceiveData (the 100 ms gap rule sets its floor).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "serial/comm.h"
#include "serial/notification_queue.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kFrameSize = 32;
constexpr std::size_t kFrames = 32768;  // 1 MiB each way

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The far end: sends back whatever the component writes.
class Echo {
 public:
  explicit Echo(int master) : master_(master), thread_([this] { Run(); }) {}
  ~Echo() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    std::uint8_t buffer[4096];
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      for (ssize_t done = 0; done < n;) {
        const ssize_t w = ::write(master_, buffer + done, static_cast<std::size_t>(n - done));
        if (w <= 0) break;
        done += w;
      }
    }
  }
  int master_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::vector<std::uint8_t> Frame(std::size_t i) {
  std::vector<std::uint8_t> f(kFrameSize);
  for (std::size_t k = 0; k < kFrameSize; ++k) f[k] = static_cast<std::uint8_t>(i * 31 + k);
  return f;
}

}  // namespace

int main() {
  int master = -1, slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  auto queue = std::make_shared<veltra::CommNotificationQueue>();
  veltra::TComm comm{queue};
  comm.SetCommName(name);
  // Binary data both ways: no XON/XOFF characters taken from the stream.
  comm.SetOutx_XonXoffFlow(false);
  comm.SetInx_XonXoffFlow(false);

  std::size_t received = 0, calls = 0, largest = 0;
  Clock::time_point lastCall;
  comm.OnReceiveData = [&](veltra::TComm&, const std::uint8_t*, std::uint16_t n) {
    received += n;
    ++calls;
    largest = std::max<std::size_t>(largest, n);
    lastCall = Clock::now();
  };
  comm.OpenPort();
  const std::size_t total = kFrames * kFrameSize;

  // 1. Through the component and back.
  {
    Echo echo(master);
    const auto start = Clock::now();
    for (std::size_t i = 0; i < kFrames; ++i) {
      const auto f = Frame(i);
      comm.WriteData(f.data(), static_cast<std::uint16_t>(f.size()));
    }
    const auto queued = Clock::now();
    while (received < total && Clock::now() - start < 60s) {
      queue->WaitForPending(50ms);
      queue->DeliverPending(comm);
    }
    const double all = Seconds(lastCall - start);
    std::printf("component round trip: %zu frames of %zu bytes, %zu bytes back in %zu calls (largest %zu)\n",
                kFrames, kFrameSize, received, calls, largest);
    std::printf("  WriteData x%zu: %.1f ms (%.2f us per call)\n", kFrames, Seconds(queued - start) * 1e3,
                Seconds(queued - start) * 1e6 / kFrames);
    std::printf("  until the last OnReceiveData: %.1f ms -> %.0f frames/s, %.2f MB/s "
                "(includes the final 100 ms gap)\n",
                all * 1e3, kFrames / all, total / all / 1e6);
    const double stream = all - 0.1;
    std::printf("  without the final gap: %.1f ms -> %.0f frames/s, %.2f MB/s\n", stream * 1e3,
                kFrames / stream, total / stream / 1e6);
  }
  comm.ClosePort();
  queue->DeliverPending(comm);

  // 2. Plain write/read loop on the same pair.
  {
    const int fd = ::open(name, O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    Echo echo(master);
    const auto start = Clock::now();
    std::thread writer([fd] {
      for (std::size_t i = 0; i < kFrames; ++i) {
        const auto f = Frame(i);
        for (std::size_t done = 0; done < f.size();) {
          const ssize_t w = ::write(fd, f.data() + done, f.size() - done);
          if (w <= 0) return;
          done += static_cast<std::size_t>(w);
        }
      }
    });
    std::size_t got = 0;
    std::uint8_t buffer[4096];
    while (got < total) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    const double all = Seconds(Clock::now() - start);
    writer.join();
    std::printf("plain write/read loop: %zu bytes back in %.1f ms -> %.0f frames/s, %.2f MB/s\n", got,
                all * 1e3, kFrames / all, got / all / 1e6);
    ::close(fd);
  }

  // 3. Last byte of a reply to its OnReceiveData.
  comm.OpenPort();
  std::vector<double> latencies;
  for (int i = 0; i < 20; ++i) {
    const auto reply = Frame(static_cast<std::size_t>(i));
    const std::size_t before = calls;
    if (::write(master, reply.data(), 16) != 16) break;
    const auto sent = Clock::now();
    while (calls == before && Clock::now() - sent < 2s) {
      queue->WaitForPending(5ms);
      queue->DeliverPending(comm);
    }
    latencies.push_back(Seconds(lastCall - sent) * 1e3);
    std::this_thread::sleep_for(20ms);
  }
  const auto closing = Clock::now();
  comm.ClosePort();
  const double closeMs = Seconds(Clock::now() - closing) * 1e3;
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    std::printf("reply latency (16 bytes, %zu replies): min %.2f ms, median %.2f ms, max %.2f ms\n",
                latencies.size(), latencies.front(), latencies[latencies.size() / 2], latencies.back());
  }
  std::printf("ClosePort with both threads idle: %.3f ms\n", closeMs);
  ::close(master);
  ::close(slave);
  return 0;
}
