#include "console/port_list.h"

#include <QSignalBlocker>

#include "serial/port_names.h"

namespace veltra {

PortList::PortList(QWidget* parent) : QComboBox(parent), presentPorts(SerialPortNames) {}

void PortList::Refresh() {
  std::vector<std::string> shown;
  for (int i = 0; i < count(); ++i) shown.push_back(itemText(i).toStdString());
  const QString selected = currentText();
  const std::vector<std::string> names = RefreshedPortNames(shown, selected.toStdString(), presentPorts());
  if (names == shown) return;
  // Rebuilt under the same selection: nobody should see it change.
  const QSignalBlocker quiet(this);
  clear();
  for (const std::string& name : names) addItem(QString::fromStdString(name));
  setCurrentIndex(findText(selected));
}

void PortList::showPopup() {
  Refresh();
  QComboBox::showPopup();
}

}  // namespace veltra
