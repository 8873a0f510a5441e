#pragma once
// "Bus Scan": the window's scan of a range of module addresses. Non-modal;
// one request at a time, each sent from the event loop and waited for
// there (a time-out timer, and replies handed over by the window as they
// arrive), so the window stays responsive and "Stop" ends the scan at once.
#include <QDialog>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "protocol/request_writer.h"
#include "replies/reply_decoder.h"
#include "scan/bus_scan.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veltra {

class Dialogs;

// How the dialog reaches the bus: through the window's own link and send
// path, so that requests and replies go into the monitor log.
struct ScanHooks {
  // The frame form and subnet of a request now.
  std::function<Addressing(int subnet)> addressing;
  // Logs and transmits one request, not waiting; false when it was not sent.
  std::function<bool(TransmitBuffer&)> send;
  // Hands over replies that have arrived (each comes back through TakeReply).
  std::function<void()> poll;
  // The wait for one reply, in milliseconds.
  std::function<int()> timeoutMs;
};

class BusScanDialog : public QDialog {
  Q_OBJECT
 public:
  BusScanDialog(ScanHooks hooks, Dialogs& dialogs, QWidget* parent = nullptr);

  // A decoded reply that reached the window: taken (true) when it is the
  // module type or version a scan request waits for, so the window's own
  // fields stay as they are.
  bool TakeReply(const DecodedReply& reply);
  bool Running() const { return scan_ && !scan_->Finished(); }
  // The rows found, in address order.
  const std::vector<ScanRow>& Rows() const;

  QSpinBox* SubnetId = nullptr;  // "Subnet ID"
  QSpinBox* From = nullptr;      // "From"
  QSpinBox* To = nullptr;        // "To"
  QPushButton* StartButton = nullptr;
  QPushButton* StopButton = nullptr;
  QPushButton* ExportButton = nullptr;  // "Export…"
  QProgressBar* Progress = nullptr;
  QTableWidget* Table = nullptr;
  QLabel* Status = nullptr;

  void StartClick();
  void StopClick();
  void ExportClick();

 private:
  void SendNext();
  void Answered(std::optional<DecodedReply> reply);
  void ShowProgress();
  void Finish(const QString& status);

  ScanHooks hooks_;
  Dialogs& dialogs_;
  std::optional<BusScan> scan_;
  bool waiting_ = false;
  std::chrono::steady_clock::time_point sentAt_;
  QTimer timeout_;
  QTimer poll_;
};

}  // namespace veltra
