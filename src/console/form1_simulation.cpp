// Simulation mode: the simulated bus started in-process on loopback, the
// window pointed at it, and a banner that leaves no doubt about it.
#include "console/form1.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QVBoxLayout>

namespace veltra {
namespace {

constexpr int kSimulatorLogLines = 20;

// The local UDP port for the window's client: the preferred one when nothing
// holds it, otherwise one the system picks (bound to 0, read back, released).
int FreeLocalPort(int preferred) {
  for (int port : {preferred, 0}) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);  // as the client binds
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t size = sizeof local;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0;
    ::close(fd);
    if (bound) return ntohs(local.sin_port);
  }
  return preferred;  // no socket at all: "Create" will say "Error!"
}

}  // namespace

void TForm1::AttachSimulation() {
  // Held so that letting go of it (also when construction fails half-way)
  // first stops the simulator's threads from calling into the window.
  SimulatorRuntime* runtime = options_.simulator.get();
  simulator_ = std::shared_ptr<SimulatorRuntime>(
      runtime, [keep = std::move(options_.simulator)](SimulatorRuntime* sim) { sim->SetLogListener({}); });
  // The simulator's threads hand their lines to the window through its event
  // loop, all waiting lines in one call.
  simulator_->SetLogListener([this](const std::string& line) {
    bool first = false;
    {
      std::lock_guard lock(simulatorIncomingMutex_);
      first = simulatorIncoming_.isEmpty();
      simulatorIncoming_.append(QString::fromStdString(line));
      if (simulatorIncoming_.size() > kSimulatorLogLines) simulatorIncoming_.removeFirst();
    }
    if (first) QMetaObject::invokeMethod(this, &TForm1::TakeSimulatorLines, Qt::QueuedConnection);
  });

  QStringList where;
  if (const int port = simulator_->UdpPort(); port != 0) {
    Edit4->setText(QStringLiteral("127.0.0.1"));
    Edit5->setText(QString::number(port));
    Edit6->setText(QString::number(FreeLocalPort(options_.simulationLocalPort)));
    options_.busSwitchBroadcastHost = "127.0.0.1";
    where << QStringLiteral("bus switch on UDP 127.0.0.1:%1").arg(port);
  }
  if (const QString line = QString::fromStdString(simulator_->PtySlavePath()); !line.isEmpty()) {
    ComboBox5->addItem(line);
    ComboBox5->setCurrentText(line);
    where << QStringLiteral("modules on serial line %1").arg(line);
  }

  setWindowTitle(windowTitle() + QStringLiteral(" \u2014 SIMULATED BUS"));
  SimulationBanner = new QLabel(QStringLiteral("SIMULATED BUS \u2014 no hardware is connected: %1.").arg(where.join("; ")));
  SimulationBanner->setObjectName("SimulationBanner");
  SimulationBanner->setAccessibleName(QStringLiteral("Simulated bus"));
  SimulationBanner->setAccessibleDescription(SimulationBanner->text());
  SimulationBanner->setWordWrap(true);
  SimulationBanner->setStyleSheet(QStringLiteral(
      "QLabel { background: #ffd54f; color: #000000; font-weight: bold; padding: 6px; border: 2px solid #e65100; }"));
  SimulationBanner->setToolTip(QStringLiteral("Simulator log: no requests yet."));
  static_cast<QVBoxLayout*>(centralWidget()->layout())->insertWidget(0, SimulationBanner);
}

void TForm1::TakeSimulatorLines() {
  QStringList lines;
  {
    std::lock_guard lock(simulatorIncomingMutex_);
    lines.swap(simulatorIncoming_);
  }
  if (!SimulationBanner) return;
  simulatorLines_.append(lines);
  while (simulatorLines_.size() > kSimulatorLogLines) simulatorLines_.removeFirst();
  SimulationBanner->setToolTip(QStringLiteral("Simulator log (latest lines):\n") + simulatorLines_.join('\n'));
}

}  // namespace veltra
