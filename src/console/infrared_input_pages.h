#pragma once
// "IR Control": infrared codes taught, deleted and sent (always the direct
// frame). "Input Module Control": an input bound to an action on an output
// module, or its binding cleared.
#include <QWidget>

#include "console/page_context.h"

class QComboBox;

namespace veltra {

class SpinEdit;

class InfraredPage : public QWidget {
  Q_OBJECT
 public:
  explicit InfraredPage(const PageContext& context, QWidget* parent = nullptr);

 private:
  PageContext context_;
  SpinEdit* address_ = nullptr;  // SpinEdit14 "Module Addr. :"
  SpinEdit* code_ = nullptr;     // SpinEdit13 "IR No. :"
};

class InputPage : public QWidget {
  Q_OBJECT
 public:
  explicit InputPage(const PageContext& context, QWidget* parent = nullptr);

 private:
  // The values of "Set" and "Clear" from the page's fields.
  RequestValues Values(RequestId id) const;

  PageContext context_;
  SpinEdit* address_ = nullptr;    // SpinEdit15 "Module Addr. :" of the input module
  SpinEdit* input_ = nullptr;      // SpinEdit17 "Input No. :"
  SpinEdit* target_ = nullptr;     // SpinEdit18 "Module Addr. :" of the output module
  SpinEdit* output_ = nullptr;     // SpinEdit16 "Output No. :"
  QComboBox* mode_ = nullptr;      // ComboBox15 "Control Mode :"
  QComboBox* function_ = nullptr;  // ComboBox16 "Function :"
  SpinEdit* parameter_ = nullptr;  // SpinEdit20 "Parameter :"
};

}  // namespace veltra
