#pragma once
// "Module Settings": a module's address given ("Set", to the module in
// programming mode), read back, the module made to identify itself
// ("Test"), its type and software version read, the module restored; beside
// it the bus switch's own settings (BusSwitchGroup).
#include <QWidget>

#include "console/page_context.h"

class QLineEdit;
class QPushButton;

namespace veltra {

class BusSwitchGroup;
class SpinEdit;

class ModulePage : public QWidget {
  Q_OBJECT
 public:
  explicit ModulePage(const PageContext& context, QWidget* parent = nullptr);

 private:
  void Build();
  void Wire();

  PageContext context_;
  SpinEdit* address_ = nullptr;  // SpinEdit1 "Module Addr. :"
  QPushButton* set_ = nullptr;   // Button1
  QPushButton* read_ = nullptr;  // Button22
  QPushButton* test_ = nullptr;  // Button23
  QPushButton* readType_ = nullptr;     // Button12
  QLineEdit* type_ = nullptr;           // Edit1
  QPushButton* readVersion_ = nullptr;  // Button29
  QLineEdit* version_ = nullptr;        // Edit2
  QPushButton* restore_ = nullptr;      // Button31
  BusSwitchGroup* busSwitch_ = nullptr;
};

// The answer of a "Read Module Type" or "Read Software Version" into its
// field. A type's name, where the catalogue knows it ("Light-8" beside
// "0208"), goes into the field's tooltip and accessible description; the
// field's text stays the four hex digits.
void ShowReplyText(QLineEdit* field, ReplyEffect effect, const ExchangeResult& result);
// A field that a request fills, emptied as the request goes.
void ClearReplyText(QLineEdit* field);

}  // namespace veltra
