#include "monitor/bus_monitor_model.h"

#include <QColor>
#include <algorithm>

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
  rows_.clear();
  texts_.clear();
  // Rows stored from here on are the polls'.
  lastSeenId_ = store_.MaxId();
  HistoryFilter bounded = filter_;
  bounded.maxId = lastSeenId_;
  std::vector<FrameRecord> page;
  if (fromStart) {
    page = store_.After(bounded, std::nullopt, kPage);
    atNewest_ = page.size() < kPage;
    mayHaveOlder_ = false;
  } else {
    page = store_.Before(bounded, std::nullopt, kPage);
    std::reverse(page.begin(), page.end());
    atNewest_ = true;
    mayHaveOlder_ = page.size() == kPage;
  }
  rows_.assign(std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
  endResetModel();
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
}

int BusMonitorModel::FetchOlder() {
  if (!mayHaveOlder_) return 0;
  HistoryFilter f = filter_;
  f.maxId = lastSeenId_;
  std::optional<history::RowKey> first;
  if (!rows_.empty()) first = KeyOf(rows_.front());
  std::vector<FrameRecord> page = store_.Before(f, first, kPage);
  mayHaveOlder_ = page.size() == kPage;
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
  HistoryFilter f = filter_;
  f.maxId = lastSeenId_;
  std::optional<history::RowKey> last;
  if (!rows_.empty()) last = KeyOf(rows_.back());
  std::vector<FrameRecord> page = store_.After(f, last, kPage);
  atNewest_ = page.size() < kPage;
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
