#include "console/startup_scene_db.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/build_info.h"
#include "scenes/scene_db_location.h"

namespace veltra {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

QString StartupSceneDatabase(const QString& option) {
  SceneDbLookup lookup;
  lookup.option = option.toStdString();
  lookup.executableDir = QCoreApplication::applicationDirPath().toStdString();
  lookup.xdgDataHome = Environment("XDG_DATA_HOME");
  lookup.home = Environment("HOME");
  const std::string templatePath =
      QDir::cleanPath(QCoreApplication::applicationDirPath() + '/' + QLatin1String(build::kDataFromBin) +
                      QStringLiteral("/Veltra.mdb"))
          .toStdString();
  const auto note = [](const std::string& line) { std::fprintf(stderr, "veltra: %s\n", line.c_str()); };
  return QString::fromStdString(PrepareSceneDatabase(lookup, templatePath, note));
}

}  // namespace veltra
