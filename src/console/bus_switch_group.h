#pragma once
// "Bus Switch Settings" of the "Module Settings" page: the bus switch's own
// network settings written ("Set") and read ("Read", a broadcast on the
// subnet any bus switch may answer), its type and software version read,
// and its factory state restored. Its requests are always routed, to
// address 255.
#include <QGroupBox>
#include <array>

#include "console/page_context.h"
#include "protocol/bus_switch_commands.h"

class QLineEdit;
class QPushButton;

namespace veltra {

class SpinEdit;

class BusSwitchGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit BusSwitchGroup(const PageContext& context, QWidget* parent = nullptr);

 private:
  void Build();
  void Wire();
  BusSwitchTexts FieldTexts() const;
  void ShowRecord(const BusSwitchRecord& record);

  PageContext context_;
  SpinEdit* subnet_ = nullptr;                 // SpinEdit12 "Subnet ID :"
  std::array<QLineEdit*, 4> ip_{};             // Edit9 edt5 Edit15 Edit17
  QLineEdit* port_ = nullptr;                  // Edit11
  std::array<QLineEdit*, 4> mask_{};           // Edit21 .. Edit24
  std::array<QLineEdit*, 4> gateway_{};        // Edit25 .. Edit28
  std::array<QLineEdit*, 4> serverIp_{};       // Edit29 .. Edit32
  QLineEdit* serverPort_ = nullptr;            // edt3
  std::array<QLineEdit*, 6> mac_{};            // Edit7 Edit8 Edit33 .. Edit36
  QPushButton* set_ = nullptr;                 // btn1
  QPushButton* read_ = nullptr;                // btn2
  QPushButton* restore_ = nullptr;             // Button34
  QPushButton* readType_ = nullptr;            // Button9
  QLineEdit* type_ = nullptr;                  // Edit13
  QPushButton* readVersion_ = nullptr;         // Button33
  QLineEdit* version_ = nullptr;               // Edit14
};

}  // namespace veltra
