#pragma once
// The Bus Monitor's table: a window of rows of the frame history, read
// through its own connection. The newest rows come in batches (Poll, from
// a timer), never one model signal per frame; older rows are read a page
// at a time when the view scrolls up to them (FetchOlder), newer ones when
// it scrolls down to the end of a window that does not reach the newest
// (fetchMore). The window holds at most Capacity() rows; beyond, the rows
// farthest from the newest go, and are read again when they are scrolled
// to. Nothing here counts or loads the whole history.
#include <QAbstractTableModel>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <unordered_map>

#include "history/history_store.h"

namespace veltra {

class BusMonitorModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    TimeColumn,
    LinkColumn,
    DirColumn,
    SubnetColumn,
    AddressColumn,
    CommandColumn,
    StatusColumn,
    DetailsColumn,
    RoundTripColumn,
    FlagsColumn,
    ColumnCount
  };
  static constexpr int kPage = 500;

  // Reads the history at path (which must be there: the feed makes it).
  // Throws history::HistoryError.
  explicit BusMonitorModel(const std::string& historyPath, QObject* parent = nullptr);
  ~BusMonitorModel() override;

  // Shows the rows that match: the newest of them, or with `fromStart` the
  // first from the filter's start time on.
  void Show(const history::HistoryFilter& filter, bool fromStart = false);
  const history::HistoryFilter& Filter() const { return filter_; }

  // While paused nothing is added; what is stored meanwhile comes at the
  // next Poll after the pause.
  void SetPaused(bool paused) { paused_ = paused; }
  bool Paused() const { return paused_; }
  // Adds the rows stored since the last call that match, after the newest
  // row shown. Returns how many. Nothing while paused, or while the rows
  // shown do not reach the newest.
  int Poll();
  // Rows stored after the newest shown that have not been added: while
  // paused, what the next Poll brings (an estimate: every row, matching or
  // not).
  std::int64_t Waiting();
  // Reads a page of rows before the first shown. Returns how many.
  int FetchOlder();
  // The rows shown reach the newest that match.
  bool AtNewest() const { return atNewest_; }
  // Rows before the first shown may exist.
  bool MayHaveOlder() const { return mayHaveOlder_; }

  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // How long one search for older or newer rows may take before it
  // returns what it found (the rest comes at the next call).
  void SetSearchBudget(std::chrono::milliseconds budget) { searchBudget_ = budget; }

  std::size_t Capacity() const { return capacity_; }
  void SetCapacity(std::size_t rows) { capacity_ = std::max<std::size_t>(rows, 2 * kPage); }

  // Module names by address, shown beside the address and searched.
  void SetModuleNames(std::map<int, QString> names);
  const std::map<int, QString>& ModuleNames() const { return names_; }

  const history::FrameRecord& Record(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  const history::LinkInfo& LinkOf(const history::FrameRecord& record) { return store_.Link(record.link); }
  history::HistoryStore& Store() { return store_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 signals:
  // Rows were added after the last (Poll, fetchMore).
  void rowsAppended(int count);
  // Rows were added before the first (FetchOlder) or removed from the top
  // to keep within the capacity: a view keeps its place by these.
  void rowsPrepended(int count);
  void rowsTrimmedAtTop(int count);

 private:
  const history::RowTexts& Texts(int row) const;
  // Rows before the first shown (newest first) and after the last shown,
  // searched a time window at a time, growing, within the search budget.
  std::vector<history::FrameRecord> SearchOlder(int limit);
  std::vector<history::FrameRecord> SearchNewer(int limit);
  void Append(std::vector<history::FrameRecord> rows);
  void TrimTop();
  void TrimBottom();

  history::HistoryStore store_;
  history::HistoryFilter filter_;
  std::deque<history::FrameRecord> rows_;
  static constexpr std::int64_t kFirstWindowUs = 60'000'000;
  // Rows one search window holds, on average (a fifth for free text, which
  // decodes every row it looks at).
  static constexpr std::int64_t kRowsPerWindow = 50'000;
  std::int64_t lastSeenId_ = 0;  // rows up to this id are shown or were passed over
  std::optional<std::pair<std::int64_t, std::int64_t>> span_;  // of the history when shown
  // Where the searches go on: everything after olderFrom_ up to the first
  // row, and before newerFrom_ down to the last row, has been looked at.
  std::optional<history::RowKey> olderFrom_, newerFrom_;
  // The time windows they search next; they grow while they find nothing.
  std::int64_t olderWindowUs_ = kFirstWindowUs, newerWindowUs_ = kFirstWindowUs;
  std::int64_t maxWindowUs_ = kFirstWindowUs;
  std::chrono::milliseconds searchBudget_{40};
  bool atNewest_ = true;
  bool mayHaveOlder_ = false;
  bool paused_ = false;
  std::size_t capacity_ = 100'000;
  std::map<int, QString> names_;
  mutable std::unordered_map<std::int64_t, history::RowTexts> texts_;  // by row id
};

}  // namespace veltra
