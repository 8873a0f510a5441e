#include "console/port_list.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <map>

namespace veltra {
namespace {

// The drop-down shows a port's description after its name; the field shows
// the name alone, which is what opens.
class PortItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString description = index.data(Qt::ToolTipRole).toString();
    if (!description.isEmpty()) option->text += QStringLiteral("  \u2014  ") + description;
  }
};

}  // namespace

PortList::PortList(QWidget* parent) : QComboBox(parent), presentPorts([] { return SerialPortChoices(); }) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setItemDelegate(new PortItemDelegate(this));
  // Room for a stable by-id name in the drop-down.
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(12);
}

void PortList::Refresh() {
  std::vector<std::string> shown;
  for (int i = 0; i < count(); ++i) shown.push_back(itemText(i).toStdString());
  const QString selected = currentText();
  std::map<std::string, std::string> descriptions;
  std::vector<std::string> present;
  for (const PortChoice& choice : presentPorts()) {
    present.push_back(choice.name);
    descriptions[choice.name] = choice.description;
  }
  for (int i = 0; i < count(); ++i)
    descriptions.emplace(itemText(i).toStdString(), itemData(i, Qt::ToolTipRole).toString().toStdString());
  const std::vector<std::string> names = RefreshedPortNames(shown, selected.toStdString(), present);
  if (names == shown && !shown.empty()) return;
  // Rebuilt under the same selection: nobody should see it change.
  const QSignalBlocker quiet(this);
  clear();
  for (const std::string& name : names) {
    addItem(QString::fromStdString(name));
    const QString description = QString::fromStdString(descriptions[name]);
    setItemData(count() - 1, description, Qt::ToolTipRole);
    setItemData(count() - 1, description, Qt::AccessibleDescriptionRole);
  }
  const int at = findText(selected);
  if (at >= 0)
    setCurrentIndex(at);
  else
    setEditText(selected);
}

void PortList::showPopup() {
  Refresh();
  QComboBox::showPopup();
}

}  // namespace veltra
