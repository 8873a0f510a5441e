#pragma once
// The "Com" list: the ports the system offers, each with what the device is
// (a USB adapter's maker and product) beside its name in the drop-down, and
// any device path typed in. It looks at the system's serial devices again
// each time it drops down, so an adapter plugged in after start-up is listed.
#include <QComboBox>
#include <functional>
#include <vector>

#include "serial/port_names.h"

namespace veltra {

class PortList : public QComboBox {
 public:
  explicit PortList(QWidget* parent = nullptr);

  // The ports the system offers now; tests replace it.
  std::function<std::vector<PortChoice>()> presentPorts;

  // Brings the items up to date and keeps what is chosen or typed.
  void Refresh();
  void showPopup() override;
};

}  // namespace veltra
