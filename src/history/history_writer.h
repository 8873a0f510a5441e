#pragma once
// Records every frame the observed links carry into the history, without
// holding up the thread that observes them: observations are queued, and a
// thread of its own commits what is queued in one transaction several times
// a second (so a crash loses at most the last fraction of a second), and
// now and then removes the oldest frames beyond the history's limits.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "history/history_store.h"

namespace veltra::history {

class HistoryWriter final : public FrameObserver {
 public:
  struct Options {
    // Commits at least this often while frames come.
    std::chrono::milliseconds commitEvery{250};
    // Removes frames beyond the limits this often (and once at the start).
    std::chrono::seconds pruneEvery{60};
    // Observations waiting beyond this many (the file is held by another
    // program for long) are dropped, the oldest first, and counted.
    std::size_t maxQueued = 1'000'000;
  };

  // Opens (or makes) the history and starts a session of `program`. Throws
  // HistoryError.
  HistoryWriter(const std::string& path, const std::string& program);
  HistoryWriter(const std::string& path, const std::string& program, Options options);
  // Commits what is still queued.
  ~HistoryWriter() override;
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // From the thread that uses the link (several links may share a writer).
  void OnObserved(const ObservedFrame& frame) override;
  // The same for an observation already made into a record (RecordOf).
  void Record(LinkInfo link, FrameRecord record);

  // Commits everything observed so far before it returns.
  void Flush();

  const std::string& Path() const { return path_; }
  std::int64_t Session() const { return session_; }
  // Frames committed, and dropped because the queue overflowed.
  std::int64_t Written() const { return written_; }
  std::int64_t Dropped() const { return dropped_; }
  // The last failure to commit (another program holds the file, the disk is
  // full); empty while commits succeed.
  std::string LastError() const;

  // Called on the writer's thread after each commit with the records just
  // stored (ids set), e.g. to wake a view.
  void SetCommitListener(std::function<void(const std::vector<FrameRecord>&)> listener);

 private:
  struct Queued {
    LinkInfo link;
    FrameRecord record;
  };
  void Run();
  // Stores the batch; false when it could not (LastError says why).
  bool Commit(std::deque<Queued>& batch);

  std::string path_;
  Options options_;
  HistoryStore store_;
  std::int64_t session_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable committed_;
  std::deque<Queued> queue_;
  std::uint64_t observed_ = 0;   // observations queued so far
  std::uint64_t committedUpTo_ = 0;  // ... of which an attempt to commit was made (or dropped)
  bool flushing_ = false;
  bool stop_ = false;
  std::string lastError_;
  std::function<void(const std::vector<FrameRecord>&)> listener_;

  std::atomic<std::int64_t> written_{0};
  std::atomic<std::int64_t> dropped_{0};
  std::thread thread_;
};

}  // namespace veltra::history
