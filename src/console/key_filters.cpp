#include "console/key_filters.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>

namespace veltra {
namespace {

const QString kDigits = QStringLiteral("0123456789");

// The text a line edit would insert for this key: printable characters,
// except while Ctrl (with or without Shift) makes the key a shortcut.
QString TypedText(const QKeyEvent& key) {
  if (key.modifiers() == Qt::ControlModifier || key.modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))
    return {};
  QString typed;
  for (const QChar c : key.text())
    if (c.isPrint()) typed += c;
  return typed;
}

}  // namespace

KeyFilter::KeyFilter(const QString& passes, QObject* parent) : QObject(parent), passes_(passes) {}

bool KeyFilter::Passes(QChar c) const { return !c.isPrint() || passes_.contains(c); }

QString KeyFilter::Filtered(const QString& text) const {
  QString kept;
  for (const QChar c : text)
    if (c.isPrint() && passes_.contains(c)) kept += c;
  return kept;
}

void KeyFilter::PasteInto(QLineEdit* edit, const QString& text) const {
  if (edit->isReadOnly()) return;
  edit->insert(Filtered(text));  // replaces the selection, keeps the maximum length
}

void KeyFilter::ShowContextMenu(QLineEdit* edit, const QPoint& globalPos) const {
  QMenu* menu = edit->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // The menu's own Paste (known by its caption, "&Paste" and the shortcut
  // after a tab) goes through the filter instead.
  const QString pasteCaption = QCoreApplication::translate("QLineEdit", "&Paste");
  for (QAction* action : menu->actions()) {
    if (action->text().section(QLatin1Char('\t'), 0, 0) != pasteCaption) continue;
    QObject::disconnect(action, &QAction::triggered, edit, nullptr);
    connect(action, &QAction::triggered, edit,
            [this, edit] { PasteInto(edit, QGuiApplication::clipboard()->text()); });
  }
  menu->popup(globalPos);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (!edit) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->matches(QKeySequence::Paste)) {
        PasteInto(edit, QGuiApplication::clipboard()->text());
        return true;
      }
      // Shortcuts, navigation and editing keys carry no printable text.
      for (const QChar c : TypedText(*key))
        if (!Passes(c)) return true;
      return false;
    }
    case QEvent::ContextMenu:
      ShowContextMenu(edit, static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    case QEvent::MouseButtonRelease: {
      // The middle button pastes the X11 selection.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      QClipboard* clipboard = QGuiApplication::clipboard();
      if (mouse->button() != Qt::MiddleButton || !clipboard->supportsSelection()) return false;
      edit->deselect();
      PasteInto(edit, clipboard->text(QClipboard::Selection));
      return true;
    }
    default:
      return false;
  }
}

KeyFilter* Edit4KeyPress(QObject* parent) {
  return new KeyFilter(kDigits + QStringLiteral(".-abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"), parent);
}
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
