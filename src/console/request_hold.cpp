#include "console/request_hold.h"

#include <QApplication>
#include <QPushButton>
#include <algorithm>

namespace veltra {

void RequestHold::Add(QPushButton* button) { buttons_.emplace_back(button); }

void RequestHold::Show(const QString& reason) {
  const bool held = !reason.isEmpty();
  if (held && !held_) {
    QWidget* focus = QApplication::focusWidget();
    const bool onButton = std::any_of(buttons_.begin(), buttons_.end(), [focus](const auto& b) { return b == focus; });
    focusBefore_ = onButton ? focus : nullptr;
  }
  for (const QPointer<QPushButton>& button : buttons_) {
    if (!button) continue;
    if (held) {
      const bool saved = std::any_of(heldToolTips_.begin(), heldToolTips_.end(),
                                     [&button](const auto& entry) { return entry.first == button; });
      if (!saved) heldToolTips_.emplace_back(button, button->toolTip());
      button->setToolTip(reason);
      button->setEnabled(false);
    } else {
      button->setEnabled(true);
    }
  }
  if (!held) {
    for (const auto& [button, toolTip] : heldToolTips_)
      if (button) button->setToolTip(toolTip);
    heldToolTips_.clear();
  }
  if (held && !held_) {
    focusDuring_ = QApplication::focusWidget();
  } else if (!held && held_) {
    if (focusBefore_ && QApplication::focusWidget() == focusDuring_) focusBefore_->setFocus(Qt::OtherFocusReason);
    focusBefore_ = nullptr;
    focusDuring_ = nullptr;
  }
  held_ = held;
}

}  // namespace veltra
