#pragma once
// Character filters of the window's text fields. A filter sees every key
// pressed in its field and refuses the printable characters outside its own
// set; shortcuts (Ctrl+A, Ctrl+C, ...), navigation and editing keys pass. A
// paste from the keyboard, the context menu or the X11 selection keeps only
// the characters the field takes, as if they had been typed. Text the
// program puts in is not filtered.
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
  // `text` without the printable characters the field refuses.
  QString Filtered(const QString& text) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PasteInto(QLineEdit* edit, const QString& text) const;
  void ShowContextMenu(QLineEdit* edit, const QPoint& globalPos) const;

  QString passes_;
};

// The five filters of the window, by their handler names.
KeyFilter* Edit4KeyPress(QObject* parent);  // "Remote IP ": an address or host name: letters, digits, "." and "-"
KeyFilter* Edit5KeyPress(QObject* parent);  // "Remote Port ": digits
KeyFilter* Edit6KeyPress(QObject* parent);  // local and bus switch ports: digits
KeyFilter* Edit9KeyPress(QObject* parent);  // address octets: digits
KeyFilter* Edit7KeyPress(QObject* parent);  // MAC bytes: hexadecimal digits

// Attaches a filter and sets the field's maximum length.
void AttachKeyFilter(QLineEdit* edit, KeyFilter* filter, int maxLength);

}  // namespace veltra
