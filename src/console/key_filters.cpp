#include "console/key_filters.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace veltra {
namespace {
const QString kDigits = QStringLiteral("0123456789");
}

KeyFilter::KeyFilter(const QString& passes, QObject* parent) : QObject(parent), passes_(passes) {}

bool KeyFilter::Passes(QChar c) const { return c == QChar(8) || passes_.contains(c); }

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  // Focus movement is not typing.
  if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
  // Backspace and Delete edit; Delete may still carry the character 0x7F
  // (X11 and Wayland keyboards give it one), which is not typing either.
  if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete) return false;
  // Shortcuts would insert or remove text without a typed character: Ctrl
  // with a letter is a control character, and paste has further key forms.
  const bool control = key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut)) return true;
  if (control && key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z) return true;
  const QString text = key->text();
  // Keys without a character (arrows, Home, End, Delete) only move or edit.
  if (text.isEmpty()) return false;
  for (const QChar c : text)
    if (!Passes(c)) return true;
  return false;
}

KeyFilter* Edit4KeyPress(QObject* parent) { return new KeyFilter(kDigits + '.', parent); }
KeyFilter* Edit5KeyPress(QObject* parent) { return new KeyFilter(kDigits, parent); }
KeyFilter* Edit6KeyPress(QObject* parent) { return new KeyFilter(kDigits, parent); }
KeyFilter* Edit9KeyPress(QObject* parent) { return new KeyFilter(kDigits, parent); }
KeyFilter* Edit7KeyPress(QObject* parent) {
  return new KeyFilter(kDigits + QStringLiteral("ABCDEFabcdef"), parent);
}

void AttachKeyFilter(QLineEdit* edit, KeyFilter* filter, int maxLength) {
  edit->installEventFilter(filter);
  edit->setMaxLength(maxLength);
}

}  // namespace veltra
