#pragma once
// Above everything else, only when the bus is simulated: a banner that
// leaves no doubt about it, says where the simulated bus is (also to
// assistive tools), and keeps the simulator's latest log lines in its
// tooltip, never in the monitor log.
#include <QLabel>
#include <QStringList>

namespace veltra {

class SimulationBanner : public QLabel {
  Q_OBJECT
 public:
  // `where`: "bus switch on UDP 127.0.0.1:N", "modules on serial line …".
  explicit SimulationBanner(const QStringList& where, QWidget* parent = nullptr);
  void ShowSimulatorLog(const QStringList& latest);
};

}  // namespace veltra
