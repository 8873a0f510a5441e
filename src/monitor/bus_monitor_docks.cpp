#include "monitor/bus_monitor_docks.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <fstream>
#include <sstream>

#include "history/history_location.h"
#include "link/link.h"
#include "monitor/line_health_panel.h"
#include "plan/site_plan.h"

namespace veltra {

BusMonitorDocks::BusMonitorDocks(BusMonitorSetup setup) : setup_(std::move(setup)) {
  const std::string path = setup_.historyPath.empty() ? history::DefaultHistoryPath() : setup_.historyPath;
  feed_ = std::make_unique<history::MonitorFeed>(path, "veltra");
  for (Link* link : setup_.links)
    if (link) link->SetObserver(feed_.get());

  QMainWindow* window = setup_.window;
  monitor_ = new BusMonitorWidget(feed_->HistoryPath(), feed_->Session(), setup_.hooks);
  MonitorDock = new QDockWidget(QStringLiteral("Bus Monitor"), window);
  MonitorDock->setObjectName("BusMonitorDock");
  MonitorDock->setWidget(monitor_);
  window->addDockWidget(Qt::BottomDockWidgetArea, MonitorDock);
  MonitorDock->hide();

  health_ = new LineHealthPanel([feed = feed_.get()](int seconds, const history::HealthThresholds& thresholds) {
    return feed->Figures(seconds, thresholds);
  });
  HealthDock = new QDockWidget(QStringLiteral("Line Health"), window);
  HealthDock->setObjectName("LineHealthDock");
  HealthDock->setWidget(health_);
  window->addDockWidget(Qt::RightDockWidgetArea, HealthDock);
  HealthDock->hide();

  if (!feed_->Problem().empty())
    monitor_->Status->setToolTip(QStringLiteral("The frames of this run are kept only until it ends: ") +
                                 QString::fromStdString(feed_->Problem()));

  if (setup_.viewMenu) {
    setup_.viewMenu->addSeparator();
    ShowMonitor = MonitorDock->toggleViewAction();
    ShowMonitor->setObjectName("ShowBusMonitor");
    ShowMonitor->setText(QStringLiteral("&Bus Monitor"));
    setup_.viewMenu->addAction(ShowMonitor);
    ShowHealth = HealthDock->toggleViewAction();
    ShowHealth->setObjectName("ShowLineHealth");
    ShowHealth->setText(QStringLiteral("Line &Health"));
    setup_.viewMenu->addAction(ShowHealth);
  }
  if (setup_.fileMenu) {
    OpenSitePlan = new QAction(QStringLiteral("&Open Site Plan\u2026"), setup_.fileMenu);
    OpenSitePlan->setObjectName("OpenSitePlan");
    QAction* first = setup_.fileMenu->actions().value(0);
    setup_.fileMenu->insertAction(first, OpenSitePlan);
    setup_.fileMenu->insertSeparator(first);
    connect(OpenSitePlan, &QAction::triggered, this, [this] {
      if (!setup_.openSitePlanName) return;
      const QString plan = setup_.openSitePlanName();
      if (!plan.isEmpty()) LoadSitePlan(plan);
    });
  }
}

BusMonitorDocks::~BusMonitorDocks() {
  for (Link* link : setup_.links)
    if (link) link->SetObserver(nullptr);
  delete MonitorDock;
  delete HealthDock;
}

bool BusMonitorDocks::LoadSitePlan(const QString& path) {
  const std::string file = QFile::encodeName(path).toStdString();
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  auto warn = [this](const QString& what, const QString& details) {
    if (setup_.hooks.warning) setup_.hooks.warning(what, details);
  };
  if (!in) {
    warn(QStringLiteral("The site plan could not be read."), path);
    return false;
  }
  const plan::ParseResult parsed = plan::ParsePlan(text.str(), file);
  if (!parsed.plan || !parsed.errors.empty()) {
    QStringList problems;
    for (const plan::Error& e : parsed.errors) problems << QString::fromStdString(plan::Describe(e));
    warn(QStringLiteral("The site plan has problems."), problems.join('\n'));
    if (!parsed.plan) return false;
  }
  names_.clear();
  for (const plan::Module& m : parsed.plan->modules)
    if (!m.name.empty()) names_[m.address] = QString::fromStdString(m.name);
  monitor_->SetModuleNames(names_);
  health_->SetModuleNames(names_);
  return true;
}

}  // namespace veltra
