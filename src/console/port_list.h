#pragma once
// The "Com" drop-down: it looks at the system's serial devices again each
// time it opens, so an adapter plugged in after start-up is listed.
#include <QComboBox>
#include <functional>
#include <string>
#include <vector>

namespace veltra {

class PortList : public QComboBox {
 public:
  explicit PortList(QWidget* parent = nullptr);

  // The ports the system offers now ("COM1".."COM5" first); tests replace it.
  std::function<std::vector<std::string>()> presentPorts;

  // Brings the items up to date and keeps the selection.
  void Refresh();
  void showPopup() override;
};

}  // namespace veltra
