// The Bus Monitor and Line Health docks: installed on the window's menus
// and links, with the window's dialogs for their files and failures.
#include "console/dialogs.h"
#include "console/form1.h"
#include "monitor/bus_monitor_docks.h"

namespace veltra {

void TForm1::InstallBusMonitor() {
  BusMonitorSetup setup;
  setup.window = this;
  setup.fileMenu = FileMenu;
  setup.viewMenu = ViewMenu;
  setup.links = {&udpLink, serialLink.get(), options_.networkRequests, options_.serialRequests};
  setup.historyPath = options_.historyPath;
  setup.openSitePlanName = [this] {
    return dialogs_->OpenFileName(QStringLiteral("Open Site Plan"), QStringLiteral("Site plans (*.toml);;All files (*)"));
  };
  setup.hooks.saveFileName = [this](const QString& caption, const QString& suggested, const QString& filter) {
    return dialogs_->SaveFileName(caption, suggested, filter);
  };
  setup.hooks.warning = [this](const QString& text, const QString& details) { dialogs_->Warning(text, details); };
  busMonitor_ = std::make_unique<BusMonitorDocks>(std::move(setup));
}

}  // namespace veltra
