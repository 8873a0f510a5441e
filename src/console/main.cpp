// Program entry: the main window, the hidden second window, the event loop.
// The window's settings are kept in the user's configuration folder
// (~/.config/veltra/veltra.ini).
//   veltra              against real hardware (serial port or bus switch)
//   veltra --simulate   against a simulated bus on this computer
//   veltra --scene-db PATH   keeps the scenes in PATH (see console/startup_scene_db.h)
//   veltra --help | --version   answers without a display
#include <QApplication>
#include <QSettings>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

#include "console/build_info.h"
#include "console/command_line.h"
#include "console/form2.h"
#include "console/main_window.h"
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
  app.setOrganizationName(QStringLiteral("veltra"));
  app.setApplicationVersion(QString::fromUtf8(veltra::build::kVersion));
  app.setDesktopFileName(QString::fromUtf8(veltra::build::kAppId));

  QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("veltra"), QStringLiteral("veltra"));
  veltra::MainWindowOptions options;
  options.sceneDatabase = veltra::StartupSceneDatabase(commandLine.sceneDatabase);
  options.settings = &settings;
  std::unique_ptr<veltra::MainWindow> window;
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
    window = std::make_unique<veltra::MainWindow>(std::move(options));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "veltra: %s\n", error.what());
    return 1;
  }
  if (veltra::SimulatorRuntime* sim = window->Simulator())
    std::fprintf(stderr, "veltra: simulated bus on UDP 127.0.0.1:%d and serial line %s\n", sim->UdpPort(),
                 sim->PtySlavePath().c_str());
  window->show();
  veltra::TForm2 form2;
  return app.exec();
}
