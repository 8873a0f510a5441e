#include "monitor/bus_monitor_docks.h"

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>

#include "monitor/line_health_panel.h"

namespace veltra {

BusMonitorDocks::BusMonitorDocks(QMainWindow& window, QMenu& viewMenu, history::MonitorFeed& feed,
                                 BusMonitorHooks hooks)
    : QObject(&window) {
  monitor_ = new BusMonitorWidget(feed.HistoryPath(), feed.Session(), std::move(hooks));
  monitor_->SetHistoryProblem(QString::fromStdString(feed.Problem()));
  monitorDock_ = new QDockWidget(QStringLiteral("Bus Monitor"), &window);
  monitorDock_->setObjectName("BusMonitorDock");
  monitorDock_->setWidget(monitor_);
  window.addDockWidget(Qt::BottomDockWidgetArea, monitorDock_);
  monitorDock_->hide();

  health_ = new LineHealthPanel([&feed](int seconds, const history::HealthThresholds& thresholds) {
    return feed.Figures(seconds, thresholds);
  });
  healthDock_ = new QDockWidget(QStringLiteral("Line Health"), &window);
  healthDock_->setObjectName("LineHealthDock");
  healthDock_->setWidget(health_);
  window.addDockWidget(Qt::RightDockWidgetArea, healthDock_);
  healthDock_->hide();

  viewMenu.addSeparator();
  QAction* showMonitor = monitorDock_->toggleViewAction();
  showMonitor->setObjectName("ShowBusMonitor");
  showMonitor->setText(QStringLiteral("&Bus Monitor"));
  viewMenu.addAction(showMonitor);
  QAction* showHealth = healthDock_->toggleViewAction();
  showHealth->setObjectName("ShowLineHealth");
  showHealth->setText(QStringLiteral("Line &Health"));
  viewMenu.addAction(showHealth);
}

BusMonitorDocks::~BusMonitorDocks() {
  delete monitorDock_;
  delete healthDock_;
}

void BusMonitorDocks::SetModuleNames(const std::map<int, QString>& names) {
  monitor_->SetModuleNames(names);
  health_->SetModuleNames(names);
}

}  // namespace veltra
