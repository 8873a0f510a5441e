#include "console/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <exception>

namespace veltra {

void RunGuarded(Dialogs& dialogs, const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    dialogs.ShowError(QString::fromUtf8(error.what()));
  } catch (...) {
    dialogs.ShowError(QStringLiteral("Unknown error"));
  }
}

bool MessageBoxDialogs::Confirm(const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No,
                  parent_);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  box.setInformativeText(details);
  return box.exec() == QMessageBox::Yes;
}

Dialogs::QuitAnswer MessageBoxDialogs::ConfirmQuit(const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No,
                  parent_);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  auto* dontAsk = new QCheckBox(QStringLiteral("&Do not ask again"));
  box.setCheckBox(dontAsk);
  const bool quit = box.exec() == QMessageBox::Yes;
  return {quit, !dontAsk->isChecked()};
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
