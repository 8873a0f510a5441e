#include "acceptance/report_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFont>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <memory>
#include <stdexcept>

#include <unistd.h>

namespace veltra::acceptance {

std::optional<std::string> WritePdf(const std::string& html, const std::string& path, const std::string& title) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return std::string("a PDF needs a QGuiApplication");
  const QString name = QString::fromStdString(path);
  QPdfWriter pdf(name);
  pdf.setTitle(QString::fromStdString(title));
  pdf.setCreator(QStringLiteral("Veltra"));
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
  pdf.setResolution(300);
  QTextDocument document;
  // No ligatures: "off" stays three letters for whoever searches the text.
  QFont font = document.defaultFont();
  font.setStyleStrategy(QFont::PreferNoShaping);
  document.setDefaultFont(font);
  document.setHtml(QString::fromStdString(html));
  document.print(&pdf);
  // QPdfWriter reports nothing itself: a file that is not there failed.
  QFile written(name);
  if (!written.exists() || written.size() == 0) return "cannot write " + path;
  return std::nullopt;
}

std::optional<std::string> WriteTextFile(const std::string& text, const std::string& path) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return "cannot write " + path + ": " + file.errorString().toStdString();
  file.write(text.data(), static_cast<qint64>(text.size()));
  if (!file.commit()) return "cannot write " + path + ": " + file.errorString().toStdString();
  return std::nullopt;
}

std::optional<std::string> FileSha256(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return std::nullopt;
  return hash.result().toHex().toStdString();
}

std::unique_ptr<QGuiApplication> MakeGuiApplication() {
  if (QCoreApplication* app = QCoreApplication::instance()) {
    if (qobject_cast<QGuiApplication*>(app)) return nullptr;
    throw std::runtime_error("a PDF needs a QGuiApplication, and another application object exists");
  }
  // The tool shows no window: the offscreen platform needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QString runtime = QStringLiteral("/tmp/runtime-%1").arg(::getuid());
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
  }
  static int argc = 1;
  static char name[] = "veltra-cli";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace veltra::acceptance
