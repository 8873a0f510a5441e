#pragma once
// Builders the window's panels and pages share: every control gets its name
// as objectName; a label is the buddy of its control and lends it its text
// as the accessible name. Internal to src/console.
#include <QString>
#include <QStringList>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace veltra {

struct FieldSpec;
class SpinEdit;

namespace ui {


QLabel* LabelFor(const QString& text, QWidget* control);
SpinEdit* MakeSpin(const char* name, int minimum, int maximum, int value);
// A spin field for a request's value, with the value's range.
SpinEdit* MakeSpin(const char* name, const FieldSpec& field, int value);
QLineEdit* MakeEdit(const char* name);
QComboBox* MakeList(const char* name, const QStringList& items, const QString& current);
// `caption` may carry a mnemonic ("&Set"); the accessible name is the
// caption without it.
QPushButton* MakeButton(const char* name, const QString& caption);
QCheckBox* MakeCheck(const char* name, const QString& caption);
QGroupBox* MakeGroup(const char* name, const QString& title);
// A caption without its mnemonic marks ("&Set" is "Set").
QString WithoutMnemonic(QString caption);
// Label and control side by side in a grid row.
void AddRow(QGridLayout* grid, int row, int column, const QString& label, QWidget* control);
// Several small fields after one row label, with static separators ("." of
// an address, "-" of a MAC) between them.
void AddFieldsRow(QGridLayout* grid, int row, const QString& label, const std::vector<QLineEdit*>& fields,
                  const QString& separator);

}  // namespace ui
}  // namespace veltra
