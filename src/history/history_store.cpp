#include "history/history_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace veltra::history {
namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;
// Rows removed per transaction when pruning, and transactions per Prune.
constexpr int kPruneChunk = 20000;
constexpr int kPruneRounds = 50;
constexpr std::int64_t kMicrosPerDay = 86'400'000'000LL;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS sessions(
  id INTEGER PRIMARY KEY, started INTEGER NOT NULL, program TEXT NOT NULL, pid INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS links(
  id INTEGER PRIMARY KEY, serial INTEGER NOT NULL, address TEXT NOT NULL, port INTEGER NOT NULL,
  baud INTEGER NOT NULL, bits INTEGER NOT NULL, UNIQUE(serial, address, port, baud, bits));
CREATE TABLE IF NOT EXISTS frames(
  id INTEGER PRIMARY KEY,
  t INTEGER NOT NULL,
  session INTEGER NOT NULL,
  link INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  flags INTEGER NOT NULL,
  subnet INTEGER,
  address INTEGER,
  command INTEGER,
  status INTEGER,
  rtt INTEGER,
  skipped INTEGER,
  bytes BLOB);
CREATE INDEX IF NOT EXISTS frames_time ON frames(t);
CREATE INDEX IF NOT EXISTS frames_address ON frames(address, t);
CREATE INDEX IF NOT EXISTS frames_failures ON frames(t) WHERE flags & 1;
PRAGMA user_version = 1;
)sql";

constexpr const char* kColumns =
    "id, t, session, link, kind, flags, subnet, address, command, status, rtt, skipped, bytes";

}  // namespace

// A prepared statement, reset for its next use when a step is done.
class HistoryStore::Statement {
 public:
  Statement(HistoryStore& store, const std::string& sql) : store_(store) {
    if (sqlite3_prepare_v2(store.db_, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK)
      store.Fail("cannot prepare a query");
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int at, std::int64_t value) { sqlite3_bind_int64(stmt_, at, value); }
  void Bind(int at, const std::string& text) {
    sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  template <typename T>
  void Bind(int at, const std::optional<T>& value) {
    if (value) {
      Bind(at, static_cast<std::int64_t>(*value));
    } else {
      sqlite3_bind_null(stmt_, at);
    }
  }
  void BindBlob(int at, const Bytes& bytes) {
    if (bytes.empty()) {
      sqlite3_bind_null(stmt_, at);
    } else {
      sqlite3_bind_blob(stmt_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    }
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    sqlite3_reset(stmt_);
    if (rc != SQLITE_DONE) store_.Fail("query failed");
    return false;
  }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  bool Null(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  template <typename T>
  std::optional<T> Optional(int column) const {
    if (Null(column)) return std::nullopt;
    return static_cast<T>(Int(column));
  }
  std::string Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  Bytes Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return data ? Bytes(data, data + sqlite3_column_bytes(stmt_, column)) : Bytes{};
  }
  FrameRecord Record() const {
    FrameRecord r;
    r.id = Int(0);
    r.timeUs = Int(1);
    r.session = Int(2);
    r.link = Int(3);
    r.kind = static_cast<ObservedKind>(Int(4));
    r.flags = static_cast<std::uint32_t>(Int(5));
    r.subnet = Optional<int>(6);
    r.address = Optional<int>(7);
    r.command = Optional<int>(8);
    r.status = Optional<int>(9);
    r.roundTripUs = Optional<std::int64_t>(10);
    r.skipped = static_cast<std::uint32_t>(Int(11));
    r.bytes = Blob(12);
    return r;
  }

 private:
  HistoryStore& store_;
  sqlite3_stmt* stmt_ = nullptr;
};

namespace {

// veltra_matches(kind, flags, skipped, bytes, link, needle): whether the
// row's texts hold the needle (lower case).
void MatchesFunction(sqlite3_context* context, int, sqlite3_value** v) {
  auto& store = *static_cast<HistoryStore*>(sqlite3_user_data(context));
  FrameRecord r;
  r.kind = static_cast<ObservedKind>(sqlite3_value_int(v[0]));
  r.flags = static_cast<std::uint32_t>(sqlite3_value_int64(v[1]));
  r.skipped = static_cast<std::uint32_t>(sqlite3_value_int64(v[2]));
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_value_blob(v[3]));
  if (data) r.bytes.assign(data, data + sqlite3_value_bytes(v[3]));
  const auto* needle = reinterpret_cast<const char*>(sqlite3_value_text(v[5]));
  const std::string text = SearchText(r, store.Link(sqlite3_value_int64(v[4])));
  sqlite3_result_int(context, needle && text.find(needle) != std::string::npos);
}

}  // namespace

HistoryStore::HistoryStore(const std::string& path, Mode mode) : path_(path) {
  namespace fs = std::filesystem;
  int flags = SQLITE_OPEN_READWRITE;
  if (mode == Mode::Create) {
    std::error_code error;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty()) fs::create_directories(folder, error);
    if (error) throw HistoryError("cannot make the history's folder " + folder.string() + ": " + error.message());
    flags |= SQLITE_OPEN_CREATE;
  } else if (!fs::exists(path)) {
    throw HistoryError("no frame history at " + path);
  }
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) Fail("cannot open the history " + path);
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  Exec("PRAGMA journal_mode=WAL");
  // A commit reaches the file system at once: a crash of the program loses
  // nothing committed; only a power loss may take the last commits.
  Exec("PRAGMA synchronous=NORMAL");
  CreateSchema();
  sqlite3_create_function_v2(db_, "veltra_matches", 6, SQLITE_UTF8 | SQLITE_DETERMINISTIC, this, MatchesFunction,
                             nullptr, nullptr, nullptr);
  insert_ = std::make_unique<Statement>(
      *this,
      "INSERT INTO frames(t, session, link, kind, flags, subnet, address, command, status, rtt, skipped, bytes) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
}

HistoryStore::~HistoryStore() {
  insert_.reset();
  sqlite3_close_v2(db_);
}

void HistoryStore::Fail(const std::string& what) const {
  throw HistoryError(what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
}

void HistoryStore::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : "failed";
    sqlite3_free(message);
    throw HistoryError("history " + path_ + ": " + text);
  }
}

void HistoryStore::CreateSchema() {
  Statement version(*this, "PRAGMA user_version");
  const std::int64_t found = version.Step() ? version.Int(0) : 0;
  version.Reset();
  if (found > kSchemaVersion) throw HistoryError("the history " + path_ + " was made by a newer program");
  if (found == kSchemaVersion) return;
  Exec("BEGIN IMMEDIATE");
  try {
    Exec(kSchema);
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::int64_t HistoryStore::StartSession(const std::string& program) {
  Statement s(*this, "INSERT INTO sessions(started, program, pid) VALUES(?1, ?2, ?3)");
  s.Bind(1, std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::system_clock::now().time_since_epoch()).count());
  s.Bind(2, program);
  s.Bind(3, static_cast<std::int64_t>(::getpid()));
  s.Step();
  return sqlite3_last_insert_rowid(db_);
}

std::optional<std::int64_t> HistoryStore::SessionStart(std::int64_t session) {
  if (const auto known = sessionStarts_.find(session); known != sessionStarts_.end()) return known->second;
  Statement s(*this, "SELECT started FROM sessions WHERE id = ?1");
  s.Bind(1, session);
  if (!s.Step()) return std::nullopt;
  const std::int64_t started = s.Int(0);
  s.Reset();
  return sessionStarts_[session] = started;
}

void HistoryStore::LoadLinks() {
  Statement s(*this, "SELECT id, serial, address, port, baud, bits FROM links");
  while (s.Step()) {
    LinkInfo link;
    link.serial = s.Int(1) != 0;
    link.address = s.Text(2);
    link.port = static_cast<int>(s.Int(3));
    link.line = {static_cast<std::uint32_t>(s.Int(4)), static_cast<int>(s.Int(5))};
    links_[s.Int(0)] = link;
  }
}

std::int64_t HistoryStore::LinkId(const LinkInfo& link) {
  auto known = [&]() -> std::int64_t {
    for (const auto& [id, info] : links_)
      if (info == link) return id;
    return 0;
  };
  if (const std::int64_t id = known()) return id;
  Statement s(*this, "INSERT OR IGNORE INTO links(serial, address, port, baud, bits) VALUES(?1, ?2, ?3, ?4, ?5)");
  s.Bind(1, std::int64_t{link.serial});
  s.Bind(2, link.address);
  s.Bind(3, std::int64_t{link.port});
  s.Bind(4, std::int64_t{link.line.baud});
  s.Bind(5, std::int64_t{link.line.bitsPerByte});
  s.Step();
  LoadLinks();  // also when another program added it first
  if (const std::int64_t id = known()) return id;
  throw HistoryError("cannot record the link " + link.Text());
}

const LinkInfo& HistoryStore::Link(std::int64_t id) {
  auto at = links_.find(id);
  if (at == links_.end()) {
    LoadLinks();
    at = links_.find(id);
  }
  if (at == links_.end()) {
    static const LinkInfo kUnknown{false, "?", 0, {}};
    return kUnknown;
  }
  return at->second;
}

void HistoryStore::Append(std::vector<FrameRecord>& records) {
  if (records.empty()) return;
  Exec("BEGIN IMMEDIATE");
  try {
    Statement& s = *insert_;
    for (FrameRecord& r : records) {
      s.Bind(1, r.timeUs);
      s.Bind(2, r.session);
      s.Bind(3, r.link);
      s.Bind(4, static_cast<std::int64_t>(r.kind));
      s.Bind(5, static_cast<std::int64_t>(r.flags));
      s.Bind(6, r.subnet);
      s.Bind(7, r.address);
      s.Bind(8, r.command);
      s.Bind(9, r.status);
      s.Bind(10, r.roundTripUs);
      s.Bind(11, r.skipped ? std::optional<std::int64_t>(r.skipped) : std::nullopt);
      s.BindBlob(12, r.bytes);
      s.Step();
      s.Reset();
      r.id = sqlite3_last_insert_rowid(db_);
    }
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

HistoryLimits HistoryStore::Limits() {
  HistoryLimits limits;
  Statement s(*this, "SELECT key, value FROM settings");
  while (s.Step()) {
    const std::string key = s.Text(0);
    if (key == "max_bytes") limits.maxBytes = s.Int(1);
    if (key == "max_age_days") limits.maxAgeDays = static_cast<int>(s.Int(1));
  }
  return limits;
}

void HistoryStore::SetLimits(const HistoryLimits& limits) {
  Statement s(*this, "INSERT OR REPLACE INTO settings(key, value) VALUES(?1, ?2)");
  s.Bind(1, std::string("max_bytes"));
  s.Bind(2, limits.maxBytes);
  s.Step();
  s.Reset();
  s.Bind(1, std::string("max_age_days"));
  s.Bind(2, std::int64_t{limits.maxAgeDays});
  s.Step();
}

std::int64_t HistoryStore::Prune(std::int64_t nowUs) {
  const HistoryLimits limits = Limits();
  std::int64_t removed = 0;
  if (limits.maxAgeDays > 0) {
    Statement s(*this,
                "DELETE FROM frames WHERE id IN (SELECT id FROM frames WHERE t < ?1 ORDER BY t LIMIT ?2)");
    for (int round = 0; round < kPruneRounds; ++round) {
      s.Bind(1, nowUs - limits.maxAgeDays * kMicrosPerDay);
      s.Bind(2, std::int64_t{kPruneChunk});
      s.Step();
      s.Reset();
      const int changed = sqlite3_changes(db_);
      removed += changed;
      if (changed < kPruneChunk) break;
    }
  }
  if (limits.maxBytes > 0) {
    Statement s(*this, "DELETE FROM frames WHERE id < (SELECT min(id) FROM frames) + ?1");
    for (int round = 0; round < kPruneRounds && UsedBytes() > limits.maxBytes; ++round) {
      s.Bind(1, std::int64_t{kPruneChunk});
      s.Step();
      s.Reset();
      const int changed = sqlite3_changes(db_);
      removed += changed;
      if (changed == 0) break;
    }
  }
  return removed;
}

std::vector<FrameRecord> HistoryStore::Page(const HistoryFilter& filter, std::optional<RowKey> key, Order order,
                                            int limit, bool explain, std::string* plan) {
  const bool forward = order != Order::Backward;
  std::string sql = explain ? "EXPLAIN QUERY PLAN " : "";
  sql += std::string("SELECT ") + kColumns + " FROM frames WHERE 1";
  int n = 0;
  std::vector<std::function<void(Statement&)>> binds;
  auto parameter = [&](auto value) {
    binds.push_back([at = ++n, value](Statement& s) { s.Bind(at, value); });
    std::string name = "?";
    name += std::to_string(n);
    return name;
  };
  if (key) {
    const std::string t = parameter(key->timeUs), id = parameter(key->id);
    sql += forward ? " AND (t, id) > (" : " AND (t, id) < (";
    sql += t + ", " + id + ")";
  }
  if (filter.sinceUs) sql += " AND t >= " + parameter(*filter.sinceUs);
  if (filter.untilUs) sql += " AND t < " + parameter(*filter.untilUs);
  if (filter.address) sql += " AND address = " + parameter(std::int64_t{*filter.address});
  if (!filter.commands.empty()) {
    sql += " AND command IN (";
    for (std::size_t i = 0; i < filter.commands.size(); ++i) {
      sql += (i ? ", " : "");
      sql += parameter(std::int64_t{filter.commands[i]});
    }
    sql += ")";
  }
  if (filter.direction) {
    sql += *filter.direction == Direction::Sent ? " AND kind IN (0, 6)" : " AND kind IN (1, 2, 3, 4, 5)";
  }
  // Written as the failures index is, so that SQLite takes it.
  if (filter.failuresOnly) sql += " AND flags & 1";
  if (filter.session) {
    sql += " AND session = " + parameter(*filter.session);
    // A session's frames come after its start: the search stays within
    // them however long the history is (a second's leeway for the clock).
    if (const auto started = SessionStart(*filter.session)) sql += " AND t >= " + parameter(*started - 1'000'000);
  }
  if (filter.afterId) sql += " AND id > " + parameter(*filter.afterId);
  if (filter.maxId) sql += " AND id <= " + parameter(*filter.maxId);
  if (!filter.text.empty()) {
    sql += " AND (veltra_matches(kind, flags, skipped, bytes, link, " + parameter(LowerCase(filter.text)) + ")";
    for (const int address : filter.textAddresses) sql += " OR address = " + parameter(std::int64_t{address});
    sql += ")";
  }
  if (order == Order::ById) {
    sql += " ORDER BY id";
  } else {
    sql += forward ? " ORDER BY t, id" : " ORDER BY t DESC, id DESC";
  }
  sql += " LIMIT " + parameter(std::int64_t{limit});

  Statement s(*this, sql);
  for (auto& bind : binds) bind(s);
  std::vector<FrameRecord> rows;
  while (s.Step()) {
    if (explain) {
      *plan += s.Text(3) + "\n";
      continue;
    }
    rows.push_back(s.Record());
  }
  return rows;
}

std::vector<FrameRecord> HistoryStore::After(const HistoryFilter& filter, std::optional<RowKey> after, int limit) {
  return Page(filter, after, Order::Forward, limit, false, nullptr);
}

std::vector<FrameRecord> HistoryStore::Before(const HistoryFilter& filter, std::optional<RowKey> before, int limit) {
  return Page(filter, before, Order::Backward, limit, false, nullptr);
}

std::vector<FrameRecord> HistoryStore::Newer(const HistoryFilter& filter, int limit) {
  return Page(filter, std::nullopt, Order::ById, limit, false, nullptr);
}

std::int64_t HistoryStore::MaxId() {
  Statement last(*this, "SELECT max(id) FROM frames");
  return last.Step() ? last.Int(0) : 0;
}

void HistoryStore::ForEach(const HistoryFilter& filter, const std::function<void(const FrameRecord&)>& visit) {
  constexpr int kPage = 4096;
  std::optional<RowKey> after;
  for (;;) {
    const std::vector<FrameRecord> page = After(filter, after, kPage);
    for (const FrameRecord& r : page) visit(r);
    if (page.size() < kPage) return;
    after = KeyOf(page.back());
  }
}

std::string HistoryStore::QueryPlan(const HistoryFilter& filter) {
  std::string plan;
  Page(filter, RowKey{0, 0}, Order::Forward, 100, true, &plan);
  return plan;
}

std::int64_t HistoryStore::FrameCount() {
  // Two queries: SQLite answers a lone min() or max() of the row id from
  // the end of the table, but scans for both at once.
  Statement first(*this, "SELECT min(id) FROM frames");
  Statement last(*this, "SELECT max(id) FROM frames");
  if (!first.Step() || first.Null(0) || !last.Step()) return 0;
  return last.Int(0) - first.Int(0) + 1;
}

std::optional<std::pair<std::int64_t, std::int64_t>> HistoryStore::TimeSpan() {
  Statement first(*this, "SELECT min(t) FROM frames");
  Statement last(*this, "SELECT max(t) FROM frames");
  if (!first.Step() || first.Null(0) || !last.Step()) return std::nullopt;
  return std::make_pair(first.Int(0), last.Int(0));
}

std::int64_t HistoryStore::UsedBytes() {
  auto pragma = [this](const char* sql) {
    Statement s(*this, sql);
    return s.Step() ? s.Int(0) : 0;
  };
  return (pragma("PRAGMA page_count") - pragma("PRAGMA freelist_count")) * pragma("PRAGMA page_size");
}

std::string HistoryStore::IntegrityCheck() {
  Statement s(*this, "PRAGMA integrity_check");
  std::string result;
  while (s.Step()) {
    if (!result.empty()) result += '\n';
    result += s.Text(0);
  }
  return result;
}

void HistoryStore::Checkpoint() { Exec("PRAGMA wal_checkpoint(TRUNCATE)"); }

}  // namespace veltra::history
