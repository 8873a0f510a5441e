#pragma once
// One request of the window's, from the click to its answer in a field: the
// window's event loop runs until the field shows a text (the reply is taken
// off the link from there), or the time-out passes.
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace bench {

// Clicks `button` and waits until `field` is filled. The field is emptied
// first; false when nothing came within timeoutMs.
inline bool ClickUntilFilled(QPushButton* button, QLineEdit* field, int timeoutMs = 2000) {
  field->clear();
  QEventLoop loop;
  bool filled = false;
  const auto connection = QObject::connect(field, &QLineEdit::textChanged, [&](const QString& text) {
    if (text.isEmpty()) return;
    filled = true;
    loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  button->click();
  if (!filled) loop.exec();  // an answer already on the link is taken by the click itself
  QObject::disconnect(connection);
  return filled;
}

}  // namespace bench
