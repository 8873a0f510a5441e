// Program entry: the main window, the hidden second window, the event loop.
//   veltra              against real hardware (serial port or bus switch)
//   veltra --simulate   against a simulated bus on this computer
//   veltra --scene-db PATH   keeps the scenes in PATH (see console/startup_scene_db.h)
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

#include "console/build_info.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/startup_scene_db.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Veltra"));
  app.setApplicationVersion(QString::fromUtf8(veltra::build::kVersion));
  app.setDesktopFileName(QString::fromUtf8(veltra::build::kAppId));
  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption simulate(
      QStringLiteral("simulate"),
      QStringLiteral("Run against a simulated bus on this computer (UDP on 127.0.0.1 and a pseudo-terminal) "
                     "instead of real hardware; the simulator logs to stderr."));
  parser.addOption(simulate);
  const QCommandLineOption sceneDb(
      QStringLiteral("scene-db"),
      QStringLiteral("Keep the scenes in the database file PATH instead of Veltra.mdb beside the program "
                     "or in the user's data folder."),
      QStringLiteral("PATH"));
  parser.addOption(sceneDb);
  parser.process(app);

  veltra::TForm1Options options;
  options.sceneDatabase = veltra::StartupSceneDatabase(parser.value(sceneDb));
  std::unique_ptr<veltra::TForm1> form1;
  try {
    if (parser.isSet(simulate)) {
      veltra::SimulatorOptions simulation;
      simulation.log = [](const std::string& line) { std::fprintf(stderr, "sim %s\n", line.c_str()); };
      try {
        options.simulator = std::make_shared<veltra::SimulatorRuntime>(std::move(simulation));
      } catch (const std::exception& error) {
        throw std::runtime_error(std::string("cannot start the simulated bus: ") + error.what());
      }
    }
    form1 = std::make_unique<veltra::TForm1>(std::move(options));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "veltra: %s\n", error.what());
    return 1;
  }
  if (veltra::SimulatorRuntime* sim = form1->Simulator())
    std::fprintf(stderr, "veltra: simulated bus on UDP 127.0.0.1:%d and serial line %s\n", sim->UdpPort(),
                 sim->PtySlavePath().c_str());
  form1->show();
  veltra::TForm2 form2;
  return app.exec();
}
