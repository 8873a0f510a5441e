// Internals of TComm shared with its reader and writer threads. Not part of
// the component's interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <termios.h>
#include <thread>

#include "serial/comm.h"

namespace veltra {

// Bytes the reader collects into one OnReceiveData at most.
inline constexpr std::size_t kReadBufferSize = 2048;

// The five time-outs as the open device holds them. Written by the owner's
// thread (ApplyTimeouts), read by the reader at the start of every read.
struct CommTimeouts {
  std::atomic<std::uint32_t> readInterval{0};
  std::atomic<std::uint32_t> readTotalMultiplier{0};
  std::atomic<std::uint32_t> readTotalConstant{0};
  std::atomic<std::uint32_t> writeTotalMultiplier{0};
  std::atomic<std::uint32_t> writeTotalConstant{0};
};

// One open device with its close signal. Shared by the component and its
// threads; whoever lets go of it last restores the device's settings and
// closes it, so a thread that outlives ClosePort never sees a reused fd.
struct CommPort {
  CommPort(int deviceFd, int closeSignalFd, std::shared_ptr<CommNotificationSink> notify, std::uint64_t openingNumber)
      : fd(deviceFd), closeFd(closeSignalFd), sink(std::move(notify)), opening(openingNumber) {}
  ~CommPort();
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  // Sets the close signal; it stays set for the rest of this port's life.
  void SignalClose() const;
  // Polls the close signal without waiting.
  bool CloseSignalled() const;

  // Posts one notification, stamped with this port's opening. When that
  // fails, posts a hang-up (best effort) and returns false: the caller then
  // ends its thread.
  bool Post(CommMessage message) const;
  void PostHangup() const;

  const int fd;
  const int closeFd;  // eventfd
  const std::shared_ptr<CommNotificationSink> sink;
  const std::uint64_t opening;  // see CommMessage::opening
  termios saved{};            // the device's settings before we opened it
  bool restoreSaved = false;  // set once saved holds them
  CommTimeouts timeouts;
  std::atomic<bool> ignoreNullChar{false};
};

// The writer's request queue. WriteData pushes from the owner's thread, the
// writer pops; the lock is held only inside these calls. An eventfd wakes the
// writer's poll when a request arrives.
class CommWriteQueue {
 public:
  struct Request {
    std::unique_ptr<std::uint8_t[]> block;  // count bytes and a zero byte
    std::uint16_t count = 0;
  };

  explicit CommWriteQueue(int wakeFd) : wakeFd_(wakeFd) {}
  ~CommWriteQueue();
  CommWriteQueue(const CommWriteQueue&) = delete;
  CommWriteQueue& operator=(const CommWriteQueue&) = delete;

  // False once the queue is closed (the writer has ended or the port closes).
  bool Push(Request request);
  bool TryPop(Request& request);
  // Refuses further requests and drops the queued ones unsent.
  void Close();
  // The writer calls this when a request has gone to the device completely.
  void MarkWritten();
  // Requests accepted by Push and not yet written (dropped ones included
  // until the queue closes).
  std::size_t Unwritten();
  int WakeFd() const { return wakeFd_; }
  void ClearWake() const;

 private:
  std::mutex mutex_;
  std::deque<Request> requests_;
  bool closed_ = false;
  std::size_t pushed_ = 0;
  std::size_t written_ = 0;
  const int wakeFd_;
};

// One running thread and the signal of its end, so that ClosePort can bound
// its wait.
struct CommWorker {
  std::thread thread;
  std::future<void> finished;
};

void RunReader(const std::shared_ptr<CommPort>& port);
void RunWriter(const std::shared_ptr<CommPort>& port, const std::shared_ptr<CommWriteQueue>& queue);

}  // namespace veltra
