#include "console/app_identity.h"

#include "console/build_info.h"

namespace veltra {

QIcon VeltraIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/%1x%1/%2.png").arg(size).arg(QLatin1String(build::kAppId)));
  return icon;
}

QString AboutText(const QString& sceneDatabasePath, bool sceneDatabaseOpen) {
  QString database = sceneDatabasePath.isEmpty() ? QStringLiteral("none") : sceneDatabasePath;
  if (!sceneDatabaseOpen) database += QStringLiteral(" (could not be opened)");
  return QStringLiteral("Veltra %1\n\n%2.\n\n%3\n\nScene database: %4")
      .arg(QString::fromUtf8(build::kVersion), QString::fromUtf8(build::kSummary),
           QString::fromUtf8(build::kCopyrightNotice), database);
}

}  // namespace veltra
