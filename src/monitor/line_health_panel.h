#pragma once
// "Line Health": how the line is doing over the last minute, the last ten
// minutes or the whole session: the serial line's occupancy, frames a
// second, bad checksums and noise, late replies and unrelated frames, and
// per module its requests, replies, missing replies and round trips. A
// figure beyond its threshold is marked "Warning" with what to check.
// Refreshed every second from its source.
#include <QWidget>
#include <functional>
#include <map>

#include "history/line_health.h"

class QComboBox;
class QLabel;
class QTableWidget;
class QTimer;

namespace veltra {

class LineHealthPanel : public QWidget {
  Q_OBJECT
 public:
  // The figures over the given seconds (0: the whole session).
  using Source = std::function<history::LineFigures(int seconds, const history::HealthThresholds& thresholds)>;

  explicit LineHealthPanel(Source source, QWidget* parent = nullptr);

  void Refresh();
  void SetModuleNames(const std::map<int, QString>& names);
  // The span the Span list stands for, in seconds (0: the session).
  int SpanSeconds() const;

  history::HealthThresholds thresholds;

 private:
  // Found by their object names: Span, Figures, Modules, Warnings.
  QComboBox* span_ = nullptr;         // "Last minute", "Last 10 minutes", "This session"
  QTableWidget* figures_ = nullptr;   // Figure, Value, State ("Warning")
  QTableWidget* modules_ = nullptr;   // Module, Name, Requests, Replies, No reply, Late, Heard, p50, p95, p99 (ms)
  QLabel* warnings_ = nullptr;        // one line per warning
  Source source_;
  std::map<int, QString> names_;
  QTimer* timer_ = nullptr;
};

}  // namespace veltra
