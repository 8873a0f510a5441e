#pragma once
// A check box that shows a state the program reports ("Light1", "Curtain1",
// ...): enabled and readable, also by screen readers, but the operator
// cannot change it, neither with the mouse nor the keyboard nor through the
// accessibility interface, and the Tab key passes it by. setChecked() from
// the program works as usual.
#include <QCheckBox>

namespace veltra {

class StatusCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  StatusCheckBox(const char* name, const QString& caption, QWidget* parent = nullptr);

 protected:
  // A click (mouse, Space, click()) leaves the state alone.
  void nextCheckState() override {}
};

}  // namespace veltra
