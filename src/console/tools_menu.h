#pragma once
// The "Tools" menu of the main window's menu bar.
#include <functional>

class QAction;
class QMenu;
class QMenuBar;

namespace veltra {

struct ToolsMenuItems {
  QMenu* menu = nullptr;
  QAction* scanBus = nullptr;  // "Scan Bus…"
};

// Adds "Tools" to the bar, before "Help" when the bar has one, else at the
// end. scanBus runs when "Scan Bus…" is chosen.
ToolsMenuItems AddToolsMenu(QMenuBar* bar, std::function<void()> scanBus);

}  // namespace veltra
