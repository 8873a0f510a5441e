#pragma once
// The Bus Monitor and Line Health panels as docks of a main window, each
// with its item in the window's View menu ("Bus Monitor", "Line Health"),
// both fed from the frame history the console records every frame into. A
// window installs them with one call and keeps them until it closes; they
// reach it only through what it gives them.
#include <QObject>
#include <QString>
#include <map>

#include "history/monitor_feed.h"
#include "monitor/bus_monitor_widget.h"

class QDockWidget;
class QMainWindow;
class QMenu;

namespace veltra {

class LineHealthPanel;

class BusMonitorDocks : public QObject {
  Q_OBJECT
 public:
  // Docks both panels, hidden, in the window and puts their items at the
  // end of its View menu. `feed` outlives them. Throws
  // history::HistoryError when the history cannot be read.
  BusMonitorDocks(QMainWindow& window, QMenu& viewMenu, history::MonitorFeed& feed, BusMonitorHooks hooks);
  // Takes the docks out of the window.
  ~BusMonitorDocks() override;

  // Module names by address (from the site plan), shown in both panels.
  void SetModuleNames(const std::map<int, QString>& names);

 private:
  QDockWidget* monitorDock_ = nullptr;  // "BusMonitorDock"
  QDockWidget* healthDock_ = nullptr;   // "LineHealthDock"
  BusMonitorWidget* monitor_ = nullptr;
  LineHealthPanel* health_ = nullptr;
};

}  // namespace veltra
