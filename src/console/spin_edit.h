#pragma once
// Whole-number spin field. Typing accepts only signs, digits, the decimal
// separator and editing keys, so a value outside the range can be typed; the
// value is clamped to the range when the field loses the focus and whenever
// the program sets it. Text that is not an integer reads as the minimum.
#include <QSpinBox>

namespace veltra {

class SpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  SpinEdit(int minimum, int maximum, int value, QWidget* parent = nullptr);

  // The field's whole-number value, read from its text by the rule above.
  int Value() const;
  QLineEdit* Editor() const { return lineEdit(); }
  // Clamped to the range.
  void SetValue(int value) { setValue(value); }

  // Value that the text stands for: clamped integer, or the minimum.
  static int ValueOfText(const QString& text, int minimum, int maximum);

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  int valueFromText(const QString& text) const override;
  void fixup(QString& input) const override;
};

}  // namespace veltra
