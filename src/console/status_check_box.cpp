#include "console/status_check_box.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace veltra {
namespace {

// Tells assistive tools what the box shows, read-only, and offers no press
// or toggle action (the standard check box interface would toggle it).
class StatusCheckBoxAccessible : public QAccessibleWidget {
 public:
  explicit StatusCheckBoxAccessible(QCheckBox* box) : QAccessibleWidget(box, QAccessible::CheckBox) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return Box()->text();
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.checked = Box()->isChecked();
    s.readOnly = true;
    return s;
  }

 private:
  QCheckBox* Box() const { return static_cast<QCheckBox*>(widget()); }
};

QAccessibleInterface* StatusCheckBoxFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(StatusCheckBox::staticMetaObject.className()))
    if (auto* box = qobject_cast<StatusCheckBox*>(object)) return new StatusCheckBoxAccessible(box);
  return nullptr;
}

}  // namespace

StatusCheckBox::StatusCheckBox(const char* name, const QString& caption, QWidget* parent)
    : QCheckBox(caption, parent) {
  static const bool factoryInstalled = (QAccessible::installFactory(StatusCheckBoxFactory), true);
  (void)factoryInstalled;
  setObjectName(name);
  // Read by the eyes and by assistive tools, never changed: not a stop of
  // the Tab key.
  setFocusPolicy(Qt::NoFocus);
}

}  // namespace veltra
