#pragma once
// The frame history: every frame the links carried, in an SQLite file (WAL)
// that several programs may write at once (the window, veltra-cli monitor),
// each through its own store. One store is one connection, used by one
// thread at a time. Qt-free, SQLite's C API.
//
// Rows are read in (time, id) order and paged by keyset: a page starts after
// (or before) the last row of the previous one, so no query ever counts or
// skips rows, however long the history is. Searches by time, by address and
// "failures only" run on indexes.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "history/frame_record.h"

struct sqlite3;

namespace veltra::history {

class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The history's limits, kept in the file itself so that every program
// writing to it keeps the same: once the frames take more than maxBytes, or
// are older than maxAgeDays, the oldest go first. Zero: no limit.
struct HistoryLimits {
  std::int64_t maxBytes = 512LL * 1024 * 1024;
  int maxAgeDays = 30;
  bool operator==(const HistoryLimits&) const = default;
};

// Which rows a query returns; every condition set must hold.
struct HistoryFilter {
  std::optional<std::int64_t> sinceUs;  // time >= since
  std::optional<std::int64_t> untilUs;  // time < until
  std::optional<int> address;
  std::vector<int> commands;  // any of these CommandCodesNamed values
  std::optional<Direction> direction;
  bool failuresOnly = false;
  std::string text;  // in any of the row's texts, case-insensitive
  // ... or these addresses (whose module names hold the text).
  std::vector<int> textAddresses;
  std::optional<std::int64_t> session;
  // Row ids above afterId and up to maxId (rows stored since a view was
  // filled, and not those stored while it was filled).
  std::optional<std::int64_t> afterId;
  std::optional<std::int64_t> maxId;
};

// A row's place in the (time, id) order.
struct RowKey {
  std::int64_t timeUs = 0;
  std::int64_t id = 0;
  auto operator<=>(const RowKey&) const = default;
};
inline RowKey KeyOf(const FrameRecord& r) { return {r.timeUs, r.id}; }

class HistoryStore {
 public:
  enum class Mode {
    Create,    // makes the file (and its folder) when missing
    Existing,  // the file must be there (readers: veltra-cli history, stats)
  };
  // Opens the history, sets up its tables and switches it to WAL. Throws
  // HistoryError with SQLite's reason.
  HistoryStore(const std::string& path, Mode mode = Mode::Create);
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  const std::string& Path() const { return path_; }

  // A new session: one program's run. Returns its id.
  std::int64_t StartSession(const std::string& program);
  // When a session started; nothing for one the history does not know.
  std::optional<std::int64_t> SessionStart(std::int64_t session);
  // The id of a link, added when it is new.
  std::int64_t LinkId(const LinkInfo& link);
  // Every link the history knows, by id (read again when an id is unknown).
  const LinkInfo& Link(std::int64_t id);

  // Stores the records in one transaction; their ids are set.
  void Append(std::vector<FrameRecord>& records);

  HistoryLimits Limits();
  void SetLimits(const HistoryLimits& limits);
  // Removes the oldest frames beyond the limits, a chunk per transaction so
  // that other writers are never held up long. Returns how many went.
  std::int64_t Prune(std::int64_t nowUs);

  // At most `limit` rows after `after` (or from the start) in (time, id)
  // order, or, backwards, before `before` (or from the end) newest first.
  std::vector<FrameRecord> After(const HistoryFilter& filter, std::optional<RowKey> after, int limit);
  std::vector<FrameRecord> Before(const HistoryFilter& filter, std::optional<RowKey> before, int limit);
  // At most `limit` rows in the order they were stored (by id): a view's
  // newest rows, with filter.afterId the last id it has seen.
  std::vector<FrameRecord> Newer(const HistoryFilter& filter, int limit);
  // The id of the last row stored; 0 when there is none.
  std::int64_t MaxId();
  // Every row in (time, id) order, read a page at a time.
  void ForEach(const HistoryFilter& filter, const std::function<void(const FrameRecord&)>& visit);

  // The number of frames, from the first and last row ids (rows go only
  // from the oldest end): no rows are counted.
  std::int64_t FrameCount();
  // The time of the oldest and newest frame.
  std::optional<std::pair<std::int64_t, std::int64_t>> TimeSpan();
  // Pages in use by the frames' tables and indexes, in bytes.
  std::int64_t UsedBytes();
  // "ok", or what SQLite's integrity check found.
  std::string IntegrityCheck();
  // Writes the WAL back into the file (benchmarks, tools).
  void Checkpoint();
  // The query plan SQLite picks for a filter (tests of the indexes).
  std::string QueryPlan(const HistoryFilter& filter);

 private:
  class Statement;
  friend class Statement;
  void Exec(const char* sql);
  void CreateSchema();
  enum class Order { Forward, Backward, ById };
  std::vector<FrameRecord> Page(const HistoryFilter& filter, std::optional<RowKey> key, Order order, int limit,
                                bool explain, std::string* plan);
  void LoadLinks();
  [[noreturn]] void Fail(const std::string& what) const;

  std::string path_;
  sqlite3* db_ = nullptr;
  std::map<std::int64_t, LinkInfo> links_;
  std::map<std::int64_t, std::int64_t> sessionStarts_;
  std::unique_ptr<Statement> insert_;
};

}  // namespace veltra::history
