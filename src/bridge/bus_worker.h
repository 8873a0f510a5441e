#pragma once
// The bus side of the bridge: one thread that owns the link and its
// exchange and sends one request at a time: the commands that come through
// the queue, each followed by a status read of the module it changed, and
// between them the polls the scheduler says are due. It opens the link and
// opens it again after a failure; while the link is down commands are
// refused at once and never replayed. What it learns goes to BusEvents, on
// its own thread.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/availability.h"
#include "bridge/bus_command.h"
#include "bridge/command_queue.h"
#include "bridge/poll_scheduler.h"
#include "bridge/site_model.h"
#include "link/exchange.h"
#include "link/link_options.h"

namespace veltra::bridge {

class BusEvents {
 public:
  virtual ~BusEvents() = default;
  virtual void LinkChanged(bool up, const std::string& detail) = 0;
  virtual void AvailabilityChanged(int module, bool online) = 0;
  // The output states a status read gave (bit 0 of each status byte).
  virtual void StatesRead(const SiteModule& module, const std::vector<bool>& outputs) = 0;
  // The bus told what a module is or how many outputs it has: its entities
  // changed (the model as it is now).
  virtual void ModelChanged(const SiteModel& model, int module) = 0;
  // A command taken from the queue could not be carried out.
  virtual void CommandFailed(const BusCommand& command, const std::string& why) = 0;
};

struct WorkerSettings {
  LinkOptions link;
  std::chrono::steady_clock::duration pollInterval = std::chrono::seconds(10);
  double budgetShare = 0.2;
  std::chrono::steady_clock::duration reopenAfter = std::chrono::seconds(2);
};

class BusWorker : private RequestLog {
 public:
  using Opener = std::function<std::unique_ptr<Link>(const LinkOptions&)>;

  BusWorker(WorkerSettings settings, SiteModel model, BusEvents& events, Opener open = DefaultOpener());
  ~BusWorker() override;
  BusWorker(const BusWorker&) = delete;
  BusWorker& operator=(const BusWorker&) = delete;

  void Start();
  // Ends the request under way (at most its time-out) and joins the thread.
  void Stop();

  // From any thread: queues a command, or refuses it at once.
  CommandQueue::Admission Submit(const BusCommand& command) { return queue_.Push(command); }
  bool LinkUp() const { return queue_.IsOpen(); }
  // When the thread last went round its loop or started a request (the
  // service watchdog).
  std::chrono::steady_clock::time_point Heartbeat() const;

  static Opener DefaultOpener();

 private:
  void Run();
  bool OpenLink();
  void LinkLost(const std::string& why);
  void Execute(const BusCommand& command);
  void Poll(int module);
  // Reads the module's status and reports it; false when no reply came.
  bool ReadStatus(int module);
  // One exchange; nothing when the link failed under it (then it is down).
  std::optional<ExchangeResult> Ask(PreparedRequest request);
  void Replied(int module);

  bool LogMasked() const override { return false; }
  void AppendLog(const std::string& line) override;

  WorkerSettings settings_;
  SiteModel model_;
  BusEvents& events_;
  Opener open_;
  Addressing addressing_;
  CommandQueue queue_;
  PollScheduler scheduler_;
  AvailabilityBook availability_;
  std::unique_ptr<Link> link_;
  std::unique_ptr<Exchange> exchange_;
  std::string lastOpenError_;
  std::atomic<bool> stop_{false};
  std::atomic<std::chrono::steady_clock::rep> heartbeat_{0};
  std::thread thread_;
};

}  // namespace veltra::bridge
