// The window's menu bar: one function per menu, called in the order the menus
// stand in the bar.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "console/app_identity.h"
#include "console/dialogs.h"
#include "console/form1.h"
#include "scenes/scene_store.h"

namespace veltra {

void TForm1::BuildMenus() { BuildHelpMenu(); }

void TForm1::BuildHelpMenu() {
  HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
  HelpMenu->setObjectName("HelpMenu");
  AboutVeltra = HelpMenu->addAction(QStringLiteral("&About Veltra"));
  AboutVeltra->setObjectName("AboutVeltra");
  AboutVeltra->setMenuRole(QAction::AboutRole);
  connect(AboutVeltra, &QAction::triggered, this, [this] { RunGuarded([this] { AboutVeltraClick(); }); });
}

void TForm1::AboutVeltraClick() {
  dialogs_->About(QStringLiteral("About Veltra"),
                  AboutText(DataSourceOf(ADOTable1->ConnectionString()), ADOTable1->IsOpen()));
}

}  // namespace veltra
