#pragma once
// "Light Control" and "Curtain Control": outputs switched one by one or all
// at once, their times set, and "Read" showing the module's output states
// in the page's status boxes, which the operator cannot change. Each page's
// "Read" sets its own boxes, whichever page shows when the answer comes.
#include <QWidget>
#include <array>
#include <vector>

#include "console/page_context.h"

class QCheckBox;
class QPushButton;

namespace veltra {

class SpinEdit;

// Sends "Read" of the output states and shows the answer in the boxes: they
// wait with the states they show, and a reply with fewer outputs leaves the
// boxes past them as they were.
void AskOutputStates(const PageContext& context, RequestValues values, const std::vector<QCheckBox*>& boxes);

class LightPage : public QWidget {
  Q_OBJECT
 public:
  explicit LightPage(const PageContext& context, QWidget* parent = nullptr);

 private:
  PageContext context_;
  SpinEdit* address_ = nullptr;  // SpinEdit2 "Module Addr. :"
  SpinEdit* output_ = nullptr;   // SpinEdit3 "Output No. :"
  SpinEdit* seconds_ = nullptr;  // SpinEdit11 "Turn-on  Time :"
  // "Light1" .. "Light8" in screen order: CheckBox1..4, CheckBox8, CheckBox5..7.
  std::vector<QCheckBox*> boxes_;
};

class CurtainPage : public QWidget {
  Q_OBJECT
 public:
  explicit CurtainPage(const PageContext& context, QWidget* parent = nullptr);

 private:
  PageContext context_;
  SpinEdit* address_ = nullptr;  // SpinEdit9 "Module Addr. :"
  SpinEdit* output_ = nullptr;   // SpinEdit10 "Output No. :"
  SpinEdit* tenths_ = nullptr;   // SpinEdit8 "Opening/Closing Time :"
  std::vector<QCheckBox*> boxes_;  // CheckBox9 .. CheckBox12, "Curtain1" .. "Curtain4"
};

}  // namespace veltra
