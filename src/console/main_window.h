#pragma once
// The main window: the menus, the status bar, the splitter and the layout.
// Everything else is in its parts: the connection panel ("Communication
// Settings"), one class per tab page, the monitor log, the simulation
// banner, the Bus Monitor and Line Health docks; the links, the exchange,
// the capture, the frame history and the scene table are the console
// controller's. The window opens and closes the links when a row's
// button is pressed, says which links run and what became of the last
// request, keeps its settings between runs, and asks before it quits with a
// link open.
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "console/console_controller.h"

class QAction;
class QKeySequence;
class QLabel;
class QMenu;
class QSettings;
class QSplitter;
class QStatusBar;
class QTabWidget;

namespace veltra {

class BusMonitorDocks;
class BusScanDialog;
class ConnectionPanel;
class Dialogs;
class MonitorLog;
class RequestHold;
class ScenePage;
class SitePlanDialog;
class SimulationBanner;

struct MainWindowOptions {
  // Message boxes; null: real ones.
  Dialogs* dialogs = nullptr;
  // Folder that holds the scene database, ending in a separator; empty: the
  // executable's folder.
  QString sceneFolder;
  // The scene database file itself (any name); when set, sceneFolder is not
  // used. The program entry sets it to the file it chose (see
  // scenes/scene_db_location.h).
  QString sceneDatabase;
  // Where the bus switch "Read" sends its request.
  std::string busSwitchBroadcastHost = "192.168.14.255";
  // The computer's host name for "Local IP "; null: ask the system.
  std::function<std::optional<std::string>()> hostName;
  // Set: the window runs against this simulated bus (started by the caller)
  // and is pointed at it (remote IP and port, the pseudo-terminal in the
  // "Com" list, the bus switch "Read" to 127.0.0.1) and marked as simulated.
  std::shared_ptr<SimulatorRuntime> simulator;
  // "Local Port " in simulation mode when it is free (otherwise, or when 0,
  // one the system picks).
  int simulationLocalPort = 2002;
  // Set: requests take these links instead of the window's own (the
  // "Create" buttons still open and close the window's own). Not owned.
  Link* networkRequests = nullptr;
  Link* serialRequests = nullptr;
  // Where the stable names of serial adapters are (/dev/serial/by-id): a
  // line opened by /dev/ttyUSB0 waits after a pull for the symlink there
  // that led to it. Tests point it at a scratch folder.
  std::string stableSerialFolder = "/dev/serial/by-id";
  // Where the window's settings are kept between runs; null: nowhere. Not
  // owned.
  QSettings* settings = nullptr;
  // The frame history the links are recorded into and the Bus Monitor
  // shows; empty: the user's own ($XDG_STATE_HOME/veltra/history.sqlite).
  std::string historyPath;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  ConsoleController& Controller() { return *controller_; }
  Dialogs& dialogs() { return *dialogs_; }
  // The simulated bus the window runs against; null without simulation.
  SimulatorRuntime* Simulator() { return controller_->Simulator(); }

  // The status bar's first panel: which links run, or how to begin.
  QString StatusText() const;
  // The status bar's second panel: what became of the last request.
  QString ExchangeText() const;
  // Why the request buttons are unavailable now; empty when they are not.
  QString RequestsHeldBecause() const { return controller_->BusyReason(); }
  // Log lines still waiting for the event loop go in at once.
  void FlushLog();
  // The monitor log as "Save Log…" writes it.
  QString LogContents();

  // A new item in the File menu's group of save commands: below those
  // already there, above "Quit". Its handler runs guarded like a button's.
  QAction* AddFileSaveAction(const QString& text, const char* objectName, const QKeySequence& shortcut,
                             std::function<void()> handler);
  // Runs one operator action; an exception that escapes it is shown and the
  // window goes on.
  void RunGuarded(const std::function<void()>& action);

  // The size the window opens at on a screen with this much room: most of
  // it, up to a sane maximum, never below what the window needs.
  static QSize InitialSize(const QSize& available, const QSize& minimum);

 signals:
  // The monitor log was emptied by "Clear Log"; lines from before are gone.
  void logCleared();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  void BuildPages();
  void BuildLog();
  void WireLinks();
  void AttachSimulation();
  void StartUp();
  void CreateSerial();
  void CreateNetwork();
  // The box of a failed "Create": "Error!" with the cause of the exception
  // being handled (call it from a catch block).
  void ShowOpenFailure(bool network, int localPort);
  void ShowLinks();
  void SetExchangeText(const QString& text);
  // The log itself gets at least a quarter of the window's height; `exactly`:
  // that much and no more, the pages the rest (the first showing).
  void KeepLogInView(bool exactly = false);
  // The save dialog, suggesting nameTemplate (%1: date and time) in the
  // folder of the last save; empty when cancelled.
  QString AskSavePath(const QString& caption, const QString& nameTemplate, const QString& filter);
  void SaveLog();
  void SaveCapture();
  void ClearLog();
  void ShowAbout();
  void ShowBusScan();
  // The Site Plan dialog, made at its first use; the plan it loads (from
  // its "Open…" or File > "Open Site Plan…") names the modules in the docks.
  SitePlanDialog& SitePlan();
  void ShowSitePlan();
  void OpenSitePlan();
  QString AskSitePlanPath();
  void InstallMonitorDocks(QMenu& view);
  void RestoreSettings();
  void SaveSettings();

  MainWindowOptions options_;
  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs* dialogs_ = nullptr;
  std::unique_ptr<ConsoleController> controller_;
  RequestHold* hold_ = nullptr;
  ConnectionPanel* panel_ = nullptr;
  SimulationBanner* banner_ = nullptr;
  QSplitter* splitter_ = nullptr;     // Splitter1: the pages above, the log below
  QTabWidget* pages_ = nullptr;       // PageControl1
  ScenePage* scenePage_ = nullptr;
  QWidget* logGroup_ = nullptr;       // GroupBox2 "Communication Data"
  MonitorLog* log_ = nullptr;         // Memo1
  QStatusBar* statusBar_ = nullptr;   // StatusBar1
  QLabel* linksPanel_ = nullptr;      // StatusBar1Panel
  QLabel* exchangePanel_ = nullptr;   // StatusBar1Exchange
  QMenu* fileMenu_ = nullptr;
  QAction* openSitePlan_ = nullptr;   // File > "Open Site Plan…"
  QAction* fileSaveEnd_ = nullptr;    // the separator between the save items and "Quit"
  QAction* showFrameBytes_ = nullptr;
  QAction* timestamps_ = nullptr;
  BusScanDialog* scan_ = nullptr;     // made at its first opening
  SitePlanDialog* sitePlan_ = nullptr;  // made at its first use
  BusMonitorDocks* monitorDocks_ = nullptr;  // View > "Bus Monitor", "Line Health"
  QString saveFolder_;                // where the log or a capture was last saved
  QString scanExportFolder_;          // where the scan was last exported
  bool askBeforeQuitting_ = true;     // with a link open
  bool splitterPlaced_ = false;       // restored, or shared out at the first showing
};

}  // namespace veltra
