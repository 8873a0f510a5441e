#include "console/app_identity.h"

#include "console/build_info.h"

namespace veltra {

QIcon VeltraIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1x%1/%2.png").arg(size).arg(QLatin1String(build::kAppId)));
  return icon;
}

QString TitleVersion() {
  const int major = QString::fromUtf8(build::kVersion).section('.', 0, 0).toInt();
  return QStringLiteral("V%1").arg(major, 2, 10, QLatin1Char('0'));
}

QString WindowTitle() { return QStringLiteral("Veltra --") + TitleVersion(); }

QString AboutText(const QString& sceneDatabasePath, bool sceneDatabaseOpen) {
  QString database = sceneDatabasePath.isEmpty() ? QStringLiteral("none") : sceneDatabasePath;
  if (!sceneDatabaseOpen) database += QStringLiteral(" (could not be opened)");
  const QString version = QString::fromUtf8(build::kVersion);
  return QStringLiteral("Veltra %1\n(the title's \"--%2\" is this version: its major version, %3, in two digits)"
                        "\n\n%4.\n\n%5\n\nScene database: %6")
      .arg(version, TitleVersion(), version.section('.', 0, 0), QString::fromUtf8(build::kSummary),
           QString::fromUtf8(build::kCopyrightNotice), database);
}

}  // namespace veltra
