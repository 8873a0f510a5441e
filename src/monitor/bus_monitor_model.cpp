#include "monitor/bus_monitor_model.h"

#include <QColor>
#include <algorithm>
#include <limits>

#include "protocol/log_format.h"

namespace veltra {

using history::FrameRecord;
using history::HistoryFilter;
using history::KeyOf;

namespace {

// Texts kept for the rows last painted; beyond, they are made again.
constexpr std::size_t kKeptTexts = 4000;

bool Earlier(const FrameRecord& a, const FrameRecord& b) { return KeyOf(a) < KeyOf(b); }

}  // namespace

BusMonitorModel::BusMonitorModel(const std::string& historyPath, QObject* parent)
    : QAbstractTableModel(parent), store_(historyPath, history::HistoryStore::Mode::Existing) {}

BusMonitorModel::~BusMonitorModel() = default;

void BusMonitorModel::Show(const HistoryFilter& filter, bool fromStart) {
  beginResetModel();
  filter_ = filter;
  // A session's frames come after its start (a second's leeway for the
  // clock): no search goes back further.
  if (filter_.session)
    if (const auto started = store_.SessionStart(*filter_.session))
      filter_.sinceUs = std::max(filter_.sinceUs.value_or(*started - 1'000'000), *started - 1'000'000);
  rows_.clear();
  texts_.clear();
  // Rows stored from here on are the polls'.
  lastSeenId_ = store_.MaxId();
  span_ = store_.TimeSpan();
  olderFrom_.reset();
  newerFrom_.reset();
  // One window holds about as many rows as a tick may read: how many the
  // history holds a microsecond, on average, says how long that is.
  const std::int64_t frames = store_.FrameCount();
  const std::int64_t rowsPerWindow = filter_.text.empty() ? kRowsPerWindow : kRowsPerWindow / 5;
  maxWindowUs_ = kFirstWindowUs;
  if (span_ && frames > 0)
    maxWindowUs_ = std::max<std::int64_t>(
        1'000'000, static_cast<std::int64_t>(static_cast<double>(rowsPerWindow) *
                                             static_cast<double>(span_->second - span_->first + 1) / frames));
  olderWindowUs_ = newerWindowUs_ = std::min(kFirstWindowUs, maxWindowUs_);
  if (fromStart) {
    atNewest_ = false;
    mayHaveOlder_ = false;
    std::vector<FrameRecord> page = SearchNewer(kPage);
    rows_.assign(std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
  } else {
    atNewest_ = true;
    mayHaveOlder_ = true;
    std::vector<FrameRecord> page = SearchOlder(kPage);
    rows_.assign(std::make_move_iterator(page.rbegin()), std::make_move_iterator(page.rend()));
  }
  endResetModel();
}

std::vector<FrameRecord> BusMonitorModel::SearchOlder(int limit) {
  std::vector<FrameRecord> found;
  if (!span_) {
    mayHaveOlder_ = false;
    return found;
  }
  const auto started = std::chrono::steady_clock::now();
  HistoryFilter f = filter_;
  f.maxId = lastSeenId_;
  const std::int64_t floor = std::max(filter_.sinceUs.value_or(span_->first), span_->first);
  std::int64_t& window = olderWindowUs_;
  std::optional<history::RowKey> key = olderFrom_;
  if (!rows_.empty() && (!key || history::KeyOf(rows_.front()) < *key)) key = history::KeyOf(rows_.front());
  while (static_cast<int>(found.size()) < limit) {
    // Newest first, a time window at a time, so that a filter no index
    // serves never reads the whole history at once.
    const std::int64_t top = key ? key->timeUs : span_->second + 1;
    const std::int64_t lower = top - window;
    HistoryFilter g = f;
    g.sinceUs = std::max(filter_.sinceUs.value_or(lower), lower);
    const int wanted = limit - static_cast<int>(found.size());
    std::vector<FrameRecord> page = store_.Before(g, key, wanted);
    found.insert(found.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
    if (static_cast<int>(page.size()) == wanted) {
      key = history::KeyOf(found.back());
      break;
    }
    // Nothing more in this window.
    key = history::RowKey{lower, 0};
    if (lower <= floor) {
      mayHaveOlder_ = false;
      break;
    }
    window = std::min(window * 4, maxWindowUs_);
    if (std::chrono::steady_clock::now() - started > searchBudget_) break;
  }
  olderFrom_ = key;
  return found;
}

std::vector<FrameRecord> BusMonitorModel::SearchNewer(int limit) {
  std::vector<FrameRecord> found;
  if (!span_) {
    atNewest_ = true;
    return found;
  }
  const auto started = std::chrono::steady_clock::now();
  HistoryFilter f = filter_;
  f.maxId = lastSeenId_;
  const std::int64_t ceiling = std::min(filter_.untilUs.value_or(span_->second + 1), span_->second + 1);
  std::int64_t& window = newerWindowUs_;
  std::optional<history::RowKey> key = newerFrom_;
  if (!rows_.empty() && (!key || *key < history::KeyOf(rows_.back()))) key = history::KeyOf(rows_.back());
  while (static_cast<int>(found.size()) < limit) {
    const std::int64_t bottom = key ? key->timeUs : std::max(filter_.sinceUs.value_or(span_->first), span_->first);
    const std::int64_t upper = bottom + window;
    HistoryFilter g = f;
    g.untilUs = std::min(filter_.untilUs.value_or(upper), upper);
    const int wanted = limit - static_cast<int>(found.size());
    std::vector<FrameRecord> page = store_.After(g, key, wanted);
    found.insert(found.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
    if (static_cast<int>(page.size()) == wanted) {
      key = history::KeyOf(found.back());
      break;
    }
    // Every row before `upper` is searched.
    key = history::RowKey{upper - 1, std::numeric_limits<std::int64_t>::max()};
    if (upper >= ceiling) {
      atNewest_ = true;
      break;
    }
    window = std::min(window * 4, maxWindowUs_);
    if (std::chrono::steady_clock::now() - started > searchBudget_) break;
  }
  newerFrom_ = key;
  return found;
}

int BusMonitorModel::Poll() {
  if (paused_ || !atNewest_) return 0;
  std::int64_t top = store_.MaxId();
  if (top <= lastSeenId_) return 0;
  // After a long pause more may wait than the window holds: it starts again
  // from the newest.
  if (static_cast<std::size_t>(top - lastSeenId_) > capacity_) {
    Show(filter_);
    emit rowsAppended(rowCount());
    return rowCount();
  }
  HistoryFilter f = filter_;
  f.afterId = lastSeenId_;
  f.maxId = top;
  std::vector<FrameRecord> rows = store_.Newer(f, static_cast<int>(capacity_));
  lastSeenId_ = top;
  const int added = static_cast<int>(rows.size());
  Append(std::move(rows));
  return added;
}

std::int64_t BusMonitorModel::Waiting() { return std::max<std::int64_t>(0, store_.MaxId() - lastSeenId_); }

void BusMonitorModel::Append(std::vector<FrameRecord> rows) {
  if (rows.empty()) return;
  std::sort(rows.begin(), rows.end(), Earlier);
  // Most come after the newest shown; a writer's batch can land with times
  // a little before it, and such rows go to their place one by one.
  auto later = rows.begin();
  if (!rows_.empty())
    later = std::upper_bound(rows.begin(), rows.end(), rows_.back(), Earlier);
  for (auto it = rows.begin(); it != later;) {
    if (mayHaveOlder_ && Earlier(*it, rows_.front())) {  // read when scrolled to
      ++it;
      continue;
    }
    // Every row that goes before the same shown row goes in one block.
    const auto at = std::upper_bound(rows_.begin(), rows_.end(), *it, Earlier);
    auto end = std::next(it);
    while (end != later && (at == rows_.end() || Earlier(*end, *at))) ++end;
    const int row = static_cast<int>(at - rows_.begin());
    beginInsertRows({}, row, row + static_cast<int>(end - it) - 1);
    rows_.insert(at, std::make_move_iterator(it), std::make_move_iterator(end));
    endInsertRows();
    it = end;
  }
  const int count = static_cast<int>(rows.end() - later);
  if (count > 0) {
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + count - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(later), std::make_move_iterator(rows.end()));
    endInsertRows();
    emit rowsAppended(count);
  }
  TrimTop();
}

void BusMonitorModel::TrimTop() {
  if (rows_.size() <= capacity_) return;
  const int count = static_cast<int>(rows_.size() - capacity_);
  beginRemoveRows({}, 0, count - 1);
  for (int i = 0; i < count; ++i) texts_.erase(rows_[static_cast<std::size_t>(i)].id);
  rows_.erase(rows_.begin(), rows_.begin() + count);
  endRemoveRows();
  mayHaveOlder_ = true;
  olderFrom_.reset();  // from the first row kept
  emit rowsTrimmedAtTop(count);
}

void BusMonitorModel::TrimBottom() {
  if (rows_.size() <= capacity_) return;
  const int count = static_cast<int>(rows_.size() - capacity_);
  const int first = static_cast<int>(capacity_);
  beginRemoveRows({}, first, first + count - 1);
  for (std::size_t i = capacity_; i < rows_.size(); ++i) texts_.erase(rows_[i].id);
  rows_.erase(rows_.begin() + first, rows_.end());
  endRemoveRows();
  atNewest_ = false;
  newerFrom_.reset();  // from the last row kept
}

int BusMonitorModel::FetchOlder() {
  if (!mayHaveOlder_) return 0;
  std::vector<FrameRecord> page = SearchOlder(kPage);
  if (page.empty()) return 0;
  std::reverse(page.begin(), page.end());
  const int count = static_cast<int>(page.size());
  beginInsertRows({}, 0, count - 1);
  rows_.insert(rows_.begin(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
  endInsertRows();
  emit rowsPrepended(count);
  TrimBottom();
  return count;
}

bool BusMonitorModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && !atNewest_; }

void BusMonitorModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || atNewest_) return;
  std::vector<FrameRecord> page = SearchNewer(kPage);
  const int count = static_cast<int>(page.size());
  if (count > 0) {
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + count - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
    endInsertRows();
    emit rowsAppended(count);
  }
  TrimTop();
}

void BusMonitorModel::SetModuleNames(std::map<int, QString> names) {
  names_ = std::move(names);
  if (!rows_.empty()) emit dataChanged(index(0, AddressColumn), index(rowCount() - 1, AddressColumn));
}

int BusMonitorModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BusMonitorModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

const history::RowTexts& BusMonitorModel::Texts(int row) const {
  const FrameRecord& r = rows_[static_cast<std::size_t>(row)];
  auto at = texts_.find(r.id);
  if (at != texts_.end()) return at->second;
  if (texts_.size() >= kKeptTexts) texts_.clear();
  auto& self = const_cast<BusMonitorModel&>(*this);
  return texts_.emplace(r.id, history::TextsOf(r, self.store_.Link(r.link))).first->second;
}

QVariant BusMonitorModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const FrameRecord& r = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) {
    const history::RowTexts& t = Texts(index.row());
    switch (index.column()) {
      case TimeColumn: return QString::fromStdString(t.time);
      case LinkColumn: return QString::fromStdString(t.link);
      case DirColumn: return QString::fromStdString(t.direction);
      case SubnetColumn: return QString::fromStdString(t.subnet);
      case AddressColumn: {
        QString text = QString::fromStdString(t.address);
        if (r.address)
          if (const auto name = names_.find(*r.address); name != names_.end()) text += " " + name->second;
        return text;
      }
      case CommandColumn: return QString::fromStdString(t.command);
      case StatusColumn: return QString::fromStdString(t.status);
      case DetailsColumn: return QString::fromStdString(t.details);
      case RoundTripColumn: return QString::fromStdString(t.roundTrip);
      case FlagsColumn: return QString::fromStdString(t.flags);
      default: return {};
    }
  }
  if (role == Qt::ToolTipRole) {
    const history::RowTexts& t = Texts(index.row());
    QString tip = QString::fromStdString(t.details);
    if (!r.bytes.empty()) {
      if (!tip.isEmpty()) tip += '\n';
      tip += QString::fromStdString(HexBytes(r.bytes.data(), static_cast<int>(r.bytes.size())));
    }
    return tip.isEmpty() ? QVariant() : QVariant(tip);
  }
  if (role == Qt::ForegroundRole) {
    if (r.Failure()) return QColor(170, 0, 0);
    if (r.kind == ObservedKind::Late) return QColor(150, 90, 0);
    return {};
  }
  if (role == Qt::UserRole) return static_cast<qlonglong>(r.id);
  return {};
}

QVariant BusMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const kTitles[ColumnCount] = {"Time",    "Link",   "Dir",     "Subnet",     "Address",
                                                   "Command", "Status", "Details", "Round trip", "Flags"};
  return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

}  // namespace veltra
