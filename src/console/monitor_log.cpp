#include "console/monitor_log.h"

#include <QMetaObject>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

namespace veltra {

MonitorLog::MonitorLog(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("Memo1");
  setAccessibleName(QStringLiteral("Communication Data"));
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setTabChangesFocus(true);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The log grows for the whole run; an undo history of every appended line
  // would grow with it.
  setUndoRedoEnabled(false);
  // Enough of the log in view to follow a few exchanges at a glance.
  setMinimumHeight(fontMetrics().lineSpacing() * 8);
}

void MonitorLog::Append(QString line) {
  // Stamped when the line is made, not when it reaches the log.
  if (timestamps_) line.prepend(stamp_.Now());
  pending_.append(std::move(line));
  if (pending_.size() == 1) QMetaObject::invokeMethod(this, &MonitorLog::Flush, Qt::QueuedConnection);
}

void MonitorLog::Flush() {
  if (pending_.isEmpty()) return;
  QStringList lines;
  lines.swap(pending_);
  // Follow the end of the log only when the operator has not scrolled away.
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  QTextDocument* log = document();
  QTextCursor cursor(log);
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const QString& line : lines) {
    if (!log->isEmpty()) cursor.insertBlock();
    cursor.insertText(line);
  }
  cursor.endEditBlock();
  if (atEnd) bar->setValue(bar->maximum());
}

QString MonitorLog::Contents() {
  Flush();
  QString text = toPlainText();
  if (!text.isEmpty()) text += '\n';
  return text;
}

void MonitorLog::Clear() {
  pending_.clear();
  clear();
}

}  // namespace veltra
