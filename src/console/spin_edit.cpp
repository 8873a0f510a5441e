#include "console/spin_edit.h"

#include <QLineEdit>
#include <QLocale>

#include "protocol/int_conversion.h"

namespace veltra {

SpinEdit::SpinEdit(int minimum, int maximum, int value, QWidget* parent) : QSpinBox(parent) {
  setRange(minimum, maximum);
  setSingleStep(1);
  setValue(value);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int SpinEdit::ValueOfText(const QString& text, int minimum, int maximum) {
  int value = minimum;
  try {
    value = StrToInt(text.toStdString());
  } catch (const ConversionError&) {
    return minimum;
  }
  return value < minimum ? minimum : (value > maximum ? maximum : value);
}

int SpinEdit::Value() const { return ValueOfText(lineEdit()->text(), minimum(), maximum()); }

QValidator::State SpinEdit::validate(QString& input, int&) const {
  const QChar separator = locale().decimalPoint().isEmpty() ? QChar('.') : locale().decimalPoint().at(0);
  for (const QChar c : input) {
    const bool allowed = c.isDigit() || c == '+' || c == '-' || c == separator ||
                         (c.unicode() < 0x20 && c != '\r' && c != '\n');
    if (!allowed || c.unicode() > 0x7F) return QValidator::Invalid;
  }
  // Any text of these characters stands for a value (see ValueOfText), so it
  // is taken as it is; the clamp happens when the focus leaves the field.
  return QValidator::Acceptable;
}

int SpinEdit::valueFromText(const QString& text) const { return ValueOfText(text, minimum(), maximum()); }

void SpinEdit::fixup(QString& input) const { input = textFromValue(ValueOfText(input, minimum(), maximum())); }

}  // namespace veltra
