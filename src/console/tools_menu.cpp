#include "console/tools_menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace veltra {

ToolsMenuItems AddToolsMenu(QMenuBar* bar, std::function<void()> scanBus, std::function<void()> sitePlan) {
  ToolsMenuItems tools;
  tools.menu = new QMenu(QStringLiteral("&Tools"), bar);
  tools.menu->setObjectName("ToolsMenu");
  tools.menu->menuAction()->setObjectName("ToolsMenuAction");
  QAction* help = nullptr;
  for (QAction* action : bar->actions())
    if (action->menu() && action->menu()->objectName() == QLatin1String("HelpMenu")) help = action;
  bar->insertMenu(help, tools.menu);  // null: at the end
  tools.scanBus = tools.menu->addAction(QStringLiteral("&Scan Bus\u2026"));
  tools.scanBus->setObjectName("ScanBus");
  QObject::connect(tools.scanBus, &QAction::triggered, bar, [scanBus = std::move(scanBus)] { scanBus(); });
  if (sitePlan) {
    tools.sitePlan = tools.menu->addAction(QStringLiteral("Site &Plan\u2026"));
    tools.sitePlan->setObjectName("SitePlan");
    QObject::connect(tools.sitePlan, &QAction::triggered, bar, [sitePlan = std::move(sitePlan)] { sitePlan(); });
  }
  return tools;
}

}  // namespace veltra
