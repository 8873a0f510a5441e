#pragma once
// What the window's Bus Monitor and Line Health panels are fed from: one
// observer on every link the window uses, which records each frame into the
// frame history (its writer thread) and adds it to the line's health of the
// last minutes and of the whole session. Qt-free.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "history/history_writer.h"
#include "history/line_health.h"

namespace veltra::history {

// The line's health second by second over the last ten minutes, and for
// the whole session.
class LiveHealth {
 public:
  static constexpr int kSeconds = 600;

  explicit LiveHealth(std::int64_t startUs) : startUs_(startUs) {}
  void Add(const FrameRecord& record, const LinkInfo& link);
  // Over the `seconds` up to nowUs (the session so far, when shorter);
  // seconds 0: the whole session.
  LineFigures Figures(std::int64_t nowUs, int seconds, const HealthThresholds& thresholds = {}) const;
  std::int64_t StartUs() const { return startUs_; }

 private:
  struct Second {
    std::int64_t second = -1;
    LineHealth health;
  };
  std::int64_t startUs_;
  std::array<Second, kSeconds> seconds_{};
  LineHealth session_;
};

class MonitorFeed final : public FrameObserver {
 public:
  // Records into the history at `path`. When that cannot be made or opened
  // (no path, a folder that cannot be written), into a history of this run
  // in the temporary folder, removed at the end; Problem() says why.
  MonitorFeed(const std::string& path, const std::string& program);
  ~MonitorFeed() override;

  void OnObserved(const ObservedFrame& frame) override;

  HistoryWriter& Writer() { return *writer_; }
  const std::string& HistoryPath() const { return writer_->Path(); }
  std::int64_t Session() const { return writer_->Session(); }
  // Why the user's history is not used; empty when it is.
  const std::string& Problem() const { return problem_; }

  LineFigures Figures(int seconds, const HealthThresholds& thresholds = {}) const;

 private:
  std::string problem_;
  std::string temporaryFolder_;
  std::unique_ptr<HistoryWriter> writer_;
  mutable std::mutex healthMutex_;
  LiveHealth health_;
};

}  // namespace veltra::history
