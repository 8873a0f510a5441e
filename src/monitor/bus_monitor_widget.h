#pragma once
// "Bus Monitor": every frame that crossed the links, decoded, as a table
// over the frame history. Filters that combine (address, command,
// direction, failures only, free text), this session or the history since
// a time, pause (nothing is lost: what comes meanwhile is in the history and
// shown after), following the newest frame, and export of the filtered rows
// as CSV, JSON lines or pcap. Self-contained: it reaches its host only
// through its hooks.
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/history_store.h"
#include "monitor/bus_monitor_model.h"

class QCheckBox;
class QComboBox;
class QDateTime;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QToolButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace veltra {

struct BusMonitorHooks {
  // Where to save an export; empty: cancelled.
  std::function<QString(const QString& caption, const QString& suggestedPath, const QString& filter)> saveFileName;
  // A failure with its cause.
  std::function<void(const QString& text, const QString& details)> warning;
};

class BusMonitorWidget : public QWidget {
  Q_OBJECT
 public:
  // Shows the history at historyPath; `session` is this program's run.
  // Throws history::HistoryError when the history cannot be read.
  BusMonitorWidget(const std::string& historyPath, std::int64_t session, BusMonitorHooks hooks,
                   QWidget* parent = nullptr);
  ~BusMonitorWidget() override;

  BusMonitorModel* Model() { return model_; }

  // The filters and the span as the controls say, applied at once.
  void ApplyFilters();
  // "Show history since …": the span from that time on, oldest first.
  void ShowHistorySince(const QDateTime& since);
  void SetModuleNames(const std::map<int, QString>& names);
  // Writes the filtered rows (all of them, not only those loaded) to path,
  // as the suffix says: .csv, .jsonl (or .json) or .pcap. Returns the files
  // written. Throws std::runtime_error.
  std::vector<std::string> Export(const QString& path);
  void ExportClick();
  // What the timer does: new rows, following, the status line.
  void Tick();
  // Why the frames are kept only until the program ends (the user's history
  // could not be used); shown on the status line's tool tip.
  void SetHistoryProblem(const QString& problem);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  history::HistoryFilter FilterFromControls() const;
  void ScrollBy(int rows);
  void UpdateStatus();

  // The controls, found by their object names: AddressFilter, CommandFilter,
  // DirectionFilter, FailuresOnly, SearchText, Span, Since, PauseButton,
  // FollowNewest, ExportButton, Status and the table Frames.
  QSpinBox* addressFilter_ = nullptr;   // "Any", 0-255
  QComboBox* commandFilter_ = nullptr;  // "Any" and the catalogue's names
  QComboBox* directionFilter_ = nullptr;  // "Any", "Sent", "Received"
  QCheckBox* failuresOnly_ = nullptr;
  QLineEdit* searchText_ = nullptr;
  QComboBox* span_ = nullptr;  // "This session", "Whole history", "History since"
  QDateTimeEdit* since_ = nullptr;
  QToolButton* pauseButton_ = nullptr;  // checkable
  QCheckBox* followNewest_ = nullptr;
  QToolButton* exportButton_ = nullptr;  // "Export…"
  QLabel* status_ = nullptr;
  QTableView* table_ = nullptr;
  std::int64_t session_;
  BusMonitorHooks hooks_;
  BusMonitorModel* model_ = nullptr;
  QTimer* timer_ = nullptr;
  bool scrolling_ = false;  // the widget moves the view itself
  QString lastExport_;
};

}  // namespace veltra
