#include "console/dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace veltra {

bool MessageBoxDialogs::Confirm(const QString& text) {
  return QMessageBox::question(parent_, QStringLiteral("Confirm"), text,
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void MessageBoxDialogs::Message(const QString& text) {
  QMessageBox::information(parent_, QApplication::applicationName(), text);
}

void MessageBoxDialogs::ShowError(const QString& text) {
  QMessageBox::critical(parent_, QApplication::applicationName(), text);
}

void MessageBoxDialogs::About(const QString& title, const QString& text) {
  QMessageBox::about(parent_, title, text);
}

}  // namespace veltra
