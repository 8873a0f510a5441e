#include "history/history_writer.h"

namespace veltra::history {

HistoryWriter::HistoryWriter(const std::string& path, const std::string& program)
    : HistoryWriter(path, program, Options{}) {}

HistoryWriter::HistoryWriter(const std::string& path, const std::string& program, Options options)
    : path_(path), options_(options), store_(path, HistoryStore::Mode::Create) {
  session_ = store_.StartSession(program);
  thread_ = std::thread([this] { Run(); });
}

HistoryWriter::~HistoryWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void HistoryWriter::OnObserved(const ObservedFrame& frame) { Record(LinkInfoOf(frame.peer, frame.line), RecordOf(frame)); }

void HistoryWriter::Record(LinkInfo link, FrameRecord record) {
  Queued q{std::move(link), std::move(record)};
  q.record.session = session_;
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(q));
  ++observed_;
  if (queue_.size() > options_.maxQueued) {
    queue_.pop_front();
    ++dropped_;
  }
}

void HistoryWriter::Flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = observed_;
  flushing_ = true;
  wake_.notify_one();
  committed_.wait(lock, [&] { return committedUpTo_ >= target || stop_; });
}

std::string HistoryWriter::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void HistoryWriter::SetCommitListener(std::function<void(const std::vector<FrameRecord>&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

bool HistoryWriter::Commit(std::deque<Queued>& batch) {
  std::vector<FrameRecord> records;
  records.reserve(batch.size());
  std::string error;
  try {
    for (Queued& q : batch) {
      q.record.link = store_.LinkId(q.link);
      records.push_back(q.record);
    }
    store_.Append(records);
    written_ += static_cast<std::int64_t>(records.size());
  } catch (const HistoryError& e) {
    error = e.what();
  }
  std::function<void(const std::vector<FrameRecord>&)> listener;
  {
    std::lock_guard lock(mutex_);
    lastError_ = error;
    listener = listener_;
  }
  if (!error.empty()) return false;
  if (listener) listener(records);
  return true;
}

void HistoryWriter::Run() {
  using Clock = std::chrono::steady_clock;
  auto nextPrune = Clock::now();
  for (;;) {
    std::deque<Queued> batch;
    std::uint64_t upTo = 0;
    bool stopping = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, options_.commitEvery, [this] { return stop_ || flushing_; });
      batch.swap(queue_);
      upTo = observed_;
      flushing_ = false;
      stopping = stop_;
    }
    const bool stored = batch.empty() || Commit(batch);
    {
      std::lock_guard lock(mutex_);
      // A batch that could not be stored is tried again with the next one
      // (the oldest go first beyond the queue's bound); a flush waits for
      // the attempt, not for the file to come back.
      if (!stored && !stopping) {
        queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
        while (queue_.size() > options_.maxQueued) {
          queue_.pop_front();
          ++dropped_;
        }
      }
      committedUpTo_ = std::max(committedUpTo_, upTo);
    }
    committed_.notify_all();
    if (stopping) return;
    if (Clock::now() >= nextPrune) {
      try {
        store_.Prune(std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count());
      } catch (const HistoryError& e) {
        std::lock_guard lock(mutex_);
        lastError_ = e.what();
      }
      nextPrune = Clock::now() + options_.pruneEvery;
    }
  }
}

}  // namespace veltra::history
