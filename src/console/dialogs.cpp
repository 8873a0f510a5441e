#include "console/dialogs.h"

#include <QApplication>
#include <QFileDialog>
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

void MessageBoxDialogs::Warning(const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok, parent_);
  box.setInformativeText(details);
  box.exec();
}

QString MessageBoxDialogs::SaveFileName(const QString& caption, const QString& suggestedPath,
                                        const QString& filter) {
  return QFileDialog::getSaveFileName(parent_, caption, suggestedPath, filter);
}

QString MessageBoxDialogs::OpenFileName(const QString& caption, const QString& filter) {
  return QFileDialog::getOpenFileName(parent_, caption, QString(), filter);
}

void MessageBoxDialogs::About(const QString& title, const QString& text) {
  QMessageBox::about(parent_, title, text);
}

}  // namespace veltra
