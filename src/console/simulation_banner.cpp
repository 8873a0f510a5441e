#include "console/simulation_banner.h"

namespace veltra {

SimulationBanner::SimulationBanner(const QStringList& where, QWidget* parent)
    : QLabel(QStringLiteral("SIMULATED BUS \u2014 no hardware is connected: %1.").arg(where.join("; ")), parent) {
  setObjectName("SimulationBanner");
  setAccessibleName(QStringLiteral("Simulated bus"));
  setAccessibleDescription(text());
  setWordWrap(true);
  setStyleSheet(QStringLiteral(
      "QLabel { background: #ffd54f; color: #000000; font-weight: bold; padding: 6px; border: 2px solid #e65100; }"));
  setToolTip(QStringLiteral("Simulator log: no requests yet."));
}

void SimulationBanner::ShowSimulatorLog(const QStringList& latest) {
  setToolTip(QStringLiteral("Simulator log (latest lines):\n") + latest.join('\n'));
}

}  // namespace veltra
