#pragma once
// The "Tools" menu of the main window's menu bar.
#include <functional>

class QAction;
class QMenu;
class QMenuBar;

namespace veltra {

struct ToolsMenuItems {
  QMenu* menu = nullptr;
  QAction* scanBus = nullptr;   // "Scan Bus…"
  QAction* sitePlan = nullptr;  // "Site Plan…"
};

// Adds "Tools" to the bar, before "Help" when the bar has one, else at the
// end. scanBus runs when "Scan Bus…" is chosen, sitePlan when "Site Plan…" is.
ToolsMenuItems AddToolsMenu(QMenuBar* bar, std::function<void()> scanBus, std::function<void()> sitePlan = {});

}  // namespace veltra
