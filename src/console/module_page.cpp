#include "console/module_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "console/bus_switch_group.h"
#include "console/control_builders.h"
#include "console/spin_edit.h"
#include "protocol/module_types.h"

namespace veltra {

using namespace ui;

void ShowReplyText(QLineEdit* field, ReplyEffect effect, const ExchangeResult& result) {
  if (result.outcome != ExchangeOutcome::Answered || result.decoded.effect != effect) return;
  const QString text = QString::fromLatin1(result.decoded.text);
  field->setText(text);
  if (effect != ReplyEffect::ModuleType) return;
  const auto name = ModuleTypeName(result.decoded.text);
  const QString shown = name ? QString::fromStdString(*name) : QString();
  field->setToolTip(shown);
  field->setAccessibleDescription(shown);
}

void ClearReplyText(QLineEdit* field) {
  field->clear();
  field->setToolTip(QString());
  field->setAccessibleDescription(QString());
}

ModulePage::ModulePage(const PageContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  Build();
  Wire();
}

void ModulePage::Build() {
  auto* column = new QHBoxLayout(this);
  auto* group = MakeGroup("grp1", QStringLiteral("Subnet Module Settings"));
  auto* grid = new QGridLayout(group);
  address_ = MakeSpin("SpinEdit1", Request(RequestId::ReadModuleType).Field("ADDR"), 1);
  set_ = MakeButton("Button1", QStringLiteral("&Set"));
  read_ = MakeButton("Button22", QStringLiteral("Re&ad"));
  test_ = MakeButton("Button23", QStringLiteral("&Test"));
  readType_ = MakeButton("Button12", QStringLiteral("Read &Module Type"));
  type_ = MakeEdit("Edit1");
  type_->setAccessibleName(QStringLiteral("Module Type"));
  readVersion_ = MakeButton("Button29", QStringLiteral("Read Soft&ware Version"));
  version_ = MakeEdit("Edit2");
  version_->setAccessibleName(QStringLiteral("Software Version"));
  restore_ = MakeButton("Button31", QStringLiteral("&Restore"));
  // Four rows: every button in view on a 1280x720 screen.
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), address_);
  grid->addWidget(set_, 0, 2);
  grid->addWidget(read_, 0, 3);
  grid->addWidget(readType_, 1, 0);
  grid->addWidget(type_, 1, 1, 1, 3);
  grid->addWidget(readVersion_, 2, 0);
  grid->addWidget(version_, 2, 1, 1, 3);
  grid->addWidget(restore_, 3, 0);
  grid->addWidget(test_, 3, 2);
  grid->setRowStretch(4, 1);
  column->addWidget(group);

  busSwitch_ = new BusSwitchGroup(context_);
  column->addWidget(busSwitch_, 1);
}

void ModulePage::Wire() {
  const PageContext& c = context_;
  c.WireRequest(set_, [this] {
    context_.Send(RequestId::SetAddress, PageContext::Read(RequestId::SetAddress, {{"NEW", address_}}));
  });
  c.WireRequest(read_, [this] {
    // The address field keeps its value while it waits for the answer.
    context_.Send(
        RequestId::ReadAddress, {},
        [this](const ExchangeResult& result) {
          MarkWaiting(address_, false);
          if (result.outcome == ExchangeOutcome::Answered && result.decoded.effect == ReplyEffect::ModuleAddress)
            address_->SetValue(result.decoded.moduleAddress);
        },
        {}, [this] { MarkWaiting(address_, true); });
  });
  c.WireRequest(test_, [this] {
    context_.Send(RequestId::TestModule, PageContext::Read(RequestId::TestModule, {{"ADDR", address_}}));
  });
  const auto reads = [this](RequestId id, QLineEdit* field, ReplyEffect effect) {
    context_.Send(
        id, PageContext::Read(id, {{"ADDR", address_}}),
        [field, effect](const ExchangeResult& result) { ShowReplyText(field, effect, result); }, {},
        [field] { ClearReplyText(field); });
  };
  c.WireRequest(readType_, [reads, this] { reads(RequestId::ReadModuleType, type_, ReplyEffect::ModuleType); });
  c.WireRequest(readVersion_, [reads, this] { reads(RequestId::ReadVersion, version_, ReplyEffect::Version); });
  c.WireRequest(restore_, [this] {
    // Read before the question: nothing that happens while it is open
    // changes which module the request goes to.
    const RequestValues values = PageContext::Read(RequestId::Restore, {{"ADDR", address_}});
    context_.Send(RequestId::Restore, values, {}, context_.TargetText(values["ADDR"]));
  });
}

}  // namespace veltra
