#pragma once
// "Site Plan": a plan file beside the bus. It opens a plan and, after a
// scan, shows planned beside found ("matched", "missing", "unplanned",
// "type differs"); "Apply", "Verify" and "Test" run with a progress bar and
// a result per item and can be stopped; "Export Report…" writes the
// handover report of the last test as HTML or PDF. Non-modal; one request
// at a time through the window's exchange, like "Bus Scan". Self-contained:
// it reaches the window only through its hooks.
#include <QDialog>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "acceptance/acceptance_run.h"
#include "acceptance/plan_runs.h"
#include "link/exchange.h"
#include "scan/bus_scan.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veltra {

class Dialogs;

struct SitePlanHooks {
  using Done = std::function<void(const ExchangeResult&)>;
  // The frame form and subnet of a request now.
  std::function<Addressing(int subnet)> addressing;
  // Sends one request; `done` gets what came of it. Throws when it cannot go.
  std::function<void(PreparedRequest, Done)> ask;
  // A run starts (true) or ends (false); at its end a request still waiting
  // is given up.
  std::function<void(bool running)> running;
  // The link in words, for the report.
  std::function<std::string()> linkText;
  // Where a file dialog asks which plan to open; empty: cancelled.
  std::function<QString()> openFileName;
};

class SitePlanDialog : public QDialog {
  Q_OBJECT
 public:
  SitePlanDialog(SitePlanHooks hooks, Dialogs& dialogs, QWidget* parent = nullptr);
  ~SitePlanDialog() override;

  // Reads and checks a plan; its problems go to a message. True when loaded
  // (and planLoaded said so); false while a run goes on, which keeps its plan.
  bool LoadPlan(const QString& path);
  // The loaded plan's module names by address (those that have one).
  std::map<int, QString> ModuleNames() const;
  // A frame that answered no request of the window (an input module's own).
  void Heard(const UnmatchedFrame& frame);
  bool Running() const { return job_ != Job::None; }
  // A request of the window waits: the buttons that start a run are held.
  void SetStartHeld(const QString& reason);
  const acceptance::AcceptanceRun* LastTest() const { return test_.get(); }

  QPushButton* OpenButton = nullptr;  // "Open…"
  QLabel* PlanName = nullptr;
  QSpinBox* From = nullptr;
  QSpinBox* To = nullptr;
  QPushButton* ScanButton = nullptr;
  QTableWidget* Modules = nullptr;  // Address, Name, Planned, Found, Result
  QCheckBox* KeepGoing = nullptr;
  QPushButton* ApplyButton = nullptr;
  QPushButton* VerifyButton = nullptr;
  QPushButton* TestButton = nullptr;
  QPushButton* StopButton = nullptr;
  QPushButton* ExportButton = nullptr;  // "Export Report…"
  QProgressBar* Progress = nullptr;
  QTableWidget* Results = nullptr;  // Item, Result, Details
  QLabel* Prompt = nullptr;         // what the operator is asked to do
  QLabel* Status = nullptr;

  void OpenClick();
  void ScanClick();
  void ApplyClick();
  void VerifyClick();
  void TestClick();
  void StopClick();
  void ExportClick();

 signals:
  // Another plan was loaded: its modules and their names.
  void planLoaded();

 private:
  enum class Job { None, Scan, Apply, Verify, Test };
  void Begin(Job job, int count);
  void Next();
  void Ask(PreparedRequest request);
  void Took(const ExchangeResult& result);
  void Finish(const QString& status);
  void AddResult(const QString& item, const QString& result, const QString& details);
  void ShowComparison();
  void ShowButtons();
  FrameForm Form() const;

  SitePlanHooks hooks_;
  Dialogs& dialogs_;
  std::optional<plan::Plan> plan_;
  QString planPath_;
  Job job_ = Job::None;
  bool waiting_ = false;
  QString held_;
  std::optional<BusScan> scan_;
  std::optional<acceptance::ApplyRun> apply_;
  std::optional<acceptance::VerifyRun> verify_;
  std::unique_ptr<acceptance::AcceptanceRun> test_;
  std::size_t shownSteps_ = 0;
  QString testDate_;
  QTimer wait_;  // a pause or a watch of the test
  bool watching_ = false;  // wait_ runs for a watch, not a pause
};

}  // namespace veltra
