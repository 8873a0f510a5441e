#pragma once
// "Bus Scan": the window's scan of a range of module addresses. Non-modal;
// one request at a time through the window's exchanges, each waited for in
// the event loop, so the window stays responsive and "Stop" ends the scan at
// once. Only the answer to the scan's own request counts for it. It opens
// wide enough for every column of its table, and Escape closes it.
#include <QDialog>
#include <functional>
#include <optional>

#include "link/exchange.h"
#include "protocol/request_writer.h"
#include "scan/bus_scan.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veltra {

class Dialogs;

// How the dialog reaches the bus: through the window's own link and
// exchanges, so that requests and replies go into the monitor log and
// nothing else is sent while the scan runs.
struct ScanHooks {
  using Done = std::function<void(const ExchangeResult&)>;
  // The frame form and subnet of a request now.
  std::function<Addressing(int subnet)> addressing;
  // Sends one request of the scan; `done` gets what came of it, from the
  // event loop or at once. Throws (a LinkError mostly) when it cannot go.
  std::function<void(PreparedRequest, Done)> ask;
  // The scan starts (true) or ends (false). At its end a request of the scan
  // still waiting is given up: its reply, if it comes, is a late one.
  std::function<void(bool running)> running;
};

class BusScanDialog : public QDialog {
  Q_OBJECT
 public:
  BusScanDialog(ScanHooks hooks, Dialogs& dialogs, QWidget* parent = nullptr);

  bool Running() const { return scan_ && !scan_->Finished(); }
  // A request of the window waits: "Start" is unavailable, with the reason
  // in its tooltip, until this is called with an empty reason.
  void SetStartHeld(const QString& reason);
  // The rows found, in address order.
  const std::vector<ScanRow>& Rows() const;
  void SetSubnet(int subnet);
  // Where "Export…" suggests the file: the folder of the last export.
  QString ExportFolder() const { return exportFolder_; }
  void SetExportFolder(const QString& folder) { exportFolder_ = folder; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StartClick();
  void StopClick();
  void ExportClick();
  void SendNext();
  void Answered(const ExchangeResult& result);
  void ShowProgress();
  void Finish(const QString& status);
  void ShowStartAvailable();

  ScanHooks hooks_;
  Dialogs& dialogs_;
  QSpinBox* subnetId_ = nullptr;  // "Subnet ID"
  QSpinBox* from_ = nullptr;      // "From"
  QSpinBox* to_ = nullptr;        // "To"
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* export_ = nullptr;  // "Export…"
  QProgressBar* progress_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* status_ = nullptr;
  QString exportFolder_;
  std::optional<BusScan> scan_;
  bool waiting_ = false;
  QString startHeld_;  // why "Start" is unavailable; empty: it is not
};

}  // namespace veltra
