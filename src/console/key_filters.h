#pragma once
// Character filters of the window's text fields. A filter sees every typed
// character and lets through only its own set and backspace; control
// characters (and with them the copy, cut and paste shortcuts) are dropped.
// Text put in by other means, such as the field's context menu, is not
// filtered.
#include <QObject>
#include <QString>

class QLineEdit;

namespace veltra {

class KeyFilter : public QObject {
  Q_OBJECT
 public:
  // `passes` lists the printable characters the field accepts.
  KeyFilter(const QString& passes, QObject* parent);
  // Whether a typed character gets through.
  bool Passes(QChar c) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString passes_;
};

// The five filters of the window, by their handler names.
KeyFilter* Edit4KeyPress(QObject* parent);  // "Remote IP ": digits and "."
KeyFilter* Edit5KeyPress(QObject* parent);  // "Remote Port ": digits
KeyFilter* Edit6KeyPress(QObject* parent);  // local and bus switch ports: digits
KeyFilter* Edit9KeyPress(QObject* parent);  // address octets: digits
KeyFilter* Edit7KeyPress(QObject* parent);  // MAC bytes: hexadecimal digits

// Attaches a filter and sets the field's maximum length.
void AttachKeyFilter(QLineEdit* edit, KeyFilter* filter, int maxLength);

}  // namespace veltra
