#pragma once
// The Bus Monitor and Line Health panels as docks of a main window, with
// their menu items (View > "Bus Monitor", View > "Line Health", File >
// "Open Site Plan…") and the observer on every link the window uses, which
// records each frame into the frame history. A window installs them with
// one call and keeps the result until it closes; they reach it only through
// what the setup gives.
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "history/monitor_feed.h"
#include "monitor/bus_monitor_widget.h"

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;

namespace veltra {

class Link;
class LineHealthPanel;

struct BusMonitorSetup {
  QMainWindow* window = nullptr;
  QMenu* fileMenu = nullptr;  // gets "Open Site Plan…" at its top
  QMenu* viewMenu = nullptr;  // gets "Bus Monitor" and "Line Health"
  std::vector<Link*> links;   // every link the window sends on or hears; not owned
  // The frame history; empty: the user's own ($XDG_STATE_HOME/veltra/history.sqlite).
  std::string historyPath;
  // Which site plan to open; empty: cancelled.
  std::function<QString()> openSitePlanName;
  // Export file dialog and failure messages.
  BusMonitorHooks hooks;
};

class BusMonitorDocks : public QObject {
  Q_OBJECT
 public:
  explicit BusMonitorDocks(BusMonitorSetup setup);
  // Takes the observer off the links and the docks out of the window.
  ~BusMonitorDocks() override;

  history::MonitorFeed& Feed() { return *feed_; }
  BusMonitorWidget* Monitor() { return monitor_; }
  LineHealthPanel* Health() { return health_; }

  // Reads a site plan for its module names, shown in both panels. Its
  // problems go to the warning hook. True when read.
  bool LoadSitePlan(const QString& path);
  const std::map<int, QString>& ModuleNames() const { return names_; }

  QDockWidget* MonitorDock = nullptr;  // "Bus Monitor"
  QDockWidget* HealthDock = nullptr;   // "Line Health"
  QAction* ShowMonitor = nullptr;      // View > "Bus Monitor", checkable
  QAction* ShowHealth = nullptr;       // View > "Line Health", checkable
  QAction* OpenSitePlan = nullptr;     // File > "Open Site Plan…"

 private:
  BusMonitorSetup setup_;
  std::unique_ptr<history::MonitorFeed> feed_;
  BusMonitorWidget* monitor_ = nullptr;
  LineHealthPanel* health_ = nullptr;
  std::map<int, QString> names_;
};

}  // namespace veltra
