#include "console/control_builders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/spin_edit.h"
#include "protocol/command_catalogue.h"

namespace veltra::ui {

QLabel* LabelFor(const QString& text, QWidget* control) {
  auto* label = new QLabel(text);
  label->setBuddy(control);
  control->setAccessibleName(text);
  return label;
}

SpinEdit* MakeSpin(const char* name, int minimum, int maximum, int value) {
  auto* spin = new SpinEdit(minimum, maximum, value);
  spin->setObjectName(name);
  return spin;
}

SpinEdit* MakeSpin(const char* name, const FieldSpec& field, int value) {
  return MakeSpin(name, field.min, field.max, value);
}

QLineEdit* MakeEdit(const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  return edit;
}

QComboBox* MakeList(const char* name, const QStringList& items, const QString& current) {
  auto* list = new QComboBox;
  list->setObjectName(name);
  list->addItems(items);
  list->setCurrentIndex(static_cast<int>(items.indexOf(current)));
  return list;
}

QPushButton* MakeButton(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* MakeCheck(const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(name);
  return box;
}

QString WithoutMnemonic(QString caption) {
  for (qsizetype at = caption.indexOf('&'); at >= 0 && at + 1 < caption.size(); at = caption.indexOf('&', at + 1))
    caption.remove(at, 1);  // "&&" keeps one
  return caption;
}

QGroupBox* MakeGroup(const char* name, const QString& title) {
  auto* group = new QGroupBox(title);
  group->setObjectName(name);
  return group;
}

// Label and control side by side in a grid row.
void AddRow(QGridLayout* grid, int row, int column, const QString& label, QWidget* control) {
  grid->addWidget(LabelFor(label, control), row, column);
  grid->addWidget(control, row, column + 1);
}

// Several small fields after one row label, with static separators ("." of
// an address, "-" of a MAC) between them.
void AddFieldsRow(QGridLayout* grid, int row, const QString& label, const std::vector<QLineEdit*>& fields,
                  const QString& separator) {
  auto* box = new QWidget;
  // The row is read by its label; the group's title belongs to the group alone.
  box->setAccessibleName(label);
  auto* line = new QHBoxLayout(box);
  line->setContentsMargins(0, 0, 0, 0);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line->addWidget(new QLabel(separator));
    fields[i]->setMaximumWidth(fields.size() > 1 ? 44 : 80);
    line->addWidget(fields[i]);
    // Every octet of the row is read by its row label.
    fields[i]->setAccessibleName(fields.size() > 1 ? QStringLiteral("%1 %2").arg(label).arg(i + 1) : label);
  }
  line->addStretch();
  auto* text = new QLabel(label);
  text->setBuddy(fields.front());
  grid->addWidget(text, row, 0);
  grid->addWidget(box, row, 1, 1, 3);
}

}  // namespace veltra::ui
