// Program entry: the main window, the hidden second window, the event loop.
//   veltra              against real hardware (serial port or bus switch)
//   veltra --simulate   against a simulated bus on this computer
//   veltra --scene-db PATH   keeps the scenes in PATH (see console/startup_scene_db.h)
//   veltra --help | --version   answers without a display
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

#include "console/build_info.h"
#include "console/command_line.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/startup_scene_db.h"

int main(int argc, char** argv) {
  // The options first: help, the version and a usage error need no display,
  // and the application object would abort without one.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const veltra::ConsoleCommandLine commandLine = veltra::ParseConsoleCommandLine(arguments);
  switch (commandLine.outcome) {
    case veltra::ConsoleCommandLine::Outcome::Help:
      std::fputs(qPrintable(veltra::ConsoleUsage()), stdout);
      return 0;
    case veltra::ConsoleCommandLine::Outcome::Version:
      std::printf("veltra %s\n", veltra::build::kVersion);
      return 0;
    case veltra::ConsoleCommandLine::Outcome::Wrong:
      std::fprintf(stderr, "veltra: %s\n%s", qPrintable(commandLine.error), qPrintable(veltra::ConsoleUsage()));
      return 2;
    case veltra::ConsoleCommandLine::Outcome::Run:
      break;
  }

  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Veltra"));
  app.setApplicationVersion(QString::fromUtf8(veltra::build::kVersion));
  app.setDesktopFileName(QString::fromUtf8(veltra::build::kAppId));

  veltra::TForm1Options options;
  options.sceneDatabase = veltra::StartupSceneDatabase(commandLine.sceneDatabase);
  std::unique_ptr<veltra::TForm1> form1;
  try {
    if (commandLine.simulate) {
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
