#include "console/bus_switch_group.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <vector>

#include "console/control_builders.h"
#include "console/key_filters.h"
#include "console/module_page.h"
#include "console/spin_edit.h"

namespace veltra {

using namespace ui;

BusSwitchGroup::BusSwitchGroup(const PageContext& context, QWidget* parent)
    : QGroupBox(QStringLiteral("Bus Switch Settings"), parent), context_(context) {
  setObjectName("grp2");
  Build();
  Wire();
}

void BusSwitchGroup::Build() {
  // The fields on the left, the buttons beside them: the whole group stays
  // in view on a 1280x720 screen.
  auto* columns = new QHBoxLayout(this);
  auto* rows = new QGridLayout;
  subnet_ = MakeSpin("SpinEdit12", 0, 65535, 1);
  AddRow(rows, 0, 0, QStringLiteral("Subnet ID :"), subnet_);
  auto fields = [this](const std::vector<const char*>& names, int maxLength, KeyFilter* (*filter)(QObject*)) {
    std::vector<QLineEdit*> made;
    for (const char* name : names) {
      QLineEdit* field = MakeEdit(name);
      AttachKeyFilter(field, filter(this), maxLength);
      made.push_back(field);
    }
    return made;
  };
  const auto into = [](auto& target, const std::vector<QLineEdit*>& made) {
    for (std::size_t i = 0; i < target.size(); ++i) target[i] = made[i];
    return made;
  };
  AddFieldsRow(rows, 1, QStringLiteral("Bus Switch IP :"), into(ip_, fields({"Edit9", "edt5", "Edit15", "Edit17"}, 3, Edit9KeyPress)), ".");
  port_ = fields({"Edit11"}, 5, Edit6KeyPress).front();
  AddFieldsRow(rows, 2, QStringLiteral("Bus Switch Port :"), {port_}, "");
  AddFieldsRow(rows, 3, QStringLiteral("Bus Switch Mask :"),
               into(mask_, fields({"Edit21", "Edit22", "Edit23", "Edit24"}, 3, Edit9KeyPress)), ".");
  AddFieldsRow(rows, 4, QStringLiteral("Bus Switch Gateway :"),
               into(gateway_, fields({"Edit25", "Edit26", "Edit27", "Edit28"}, 3, Edit9KeyPress)), ".");
  AddFieldsRow(rows, 5, QStringLiteral("Server IP :"),
               into(serverIp_, fields({"Edit29", "Edit30", "Edit31", "Edit32"}, 3, Edit9KeyPress)), ".");
  serverPort_ = fields({"edt3"}, 5, Edit6KeyPress).front();
  AddFieldsRow(rows, 6, QStringLiteral("Server Port :"), {serverPort_}, "");
  AddFieldsRow(rows, 7, QStringLiteral("Bus Switch MAC :"),
               into(mac_, fields({"Edit7", "Edit8", "Edit33", "Edit34", "Edit35", "Edit36"}, 2, Edit7KeyPress)), "-");
  rows->setRowStretch(8, 1);
  columns->addLayout(rows, 1);

  set_ = MakeButton("btn1", QStringLiteral("S&et"));
  read_ = MakeButton("btn2", QStringLiteral("Rea&d"));
  restore_ = MakeButton("Button34", QStringLiteral("Rest&ore"));
  readType_ = MakeButton("Button9", QStringLiteral("Read Module T&ype"));
  type_ = MakeEdit("Edit13");
  type_->setAccessibleName(QStringLiteral("Bus Switch Module Type"));
  readVersion_ = MakeButton("Button33", QStringLiteral("Read Software Vers&ion"));
  version_ = MakeEdit("Edit14");
  version_->setAccessibleName(QStringLiteral("Bus Switch Software Version"));
  auto* actions = new QGridLayout;
  auto* setRead = new QHBoxLayout;
  setRead->addWidget(set_);
  setRead->addWidget(read_);
  setRead->addWidget(restore_);
  setRead->addStretch(1);
  actions->addLayout(setRead, 0, 0, 1, 2);
  actions->addWidget(readType_, 1, 0);
  actions->addWidget(type_, 1, 1);
  actions->addWidget(readVersion_, 2, 0);
  actions->addWidget(version_, 2, 1);
  actions->setRowStretch(3, 1);
  columns->addLayout(actions);
}

void BusSwitchGroup::Wire() {
  const PageContext& c = context_;
  c.WireRequest(set_, [this] {
    // A field that does not convert ends the action before anything is sent.
    RequestValues values;
    values.record = RecordFromTexts(FieldTexts());
    context_.controller.Ask(RequestId::BusSwitchSet, std::move(values));
  });
  c.WireRequest(read_, [this] {
    context_.controller.AskBusSwitchRead([this](const ExchangeResult& result) {
      if (result.outcome == ExchangeOutcome::Answered && result.decoded.effect == ReplyEffect::BusSwitchConfig)
        ShowRecord(result.decoded.busSwitchRecord);
    });
  });
  c.WireRequest(restore_, [this] {
    context_.Send(RequestId::BusSwitchRestore, {}, {}, context_.TargetText(255, true));
  });
  const auto reads = [this](RequestId id, QLineEdit* field, ReplyEffect effect) {
    context_.Send(
        id, {}, [field, effect](const ExchangeResult& result) { ShowReplyText(field, effect, result); }, {},
        [field] { ClearReplyText(field); });
  };
  c.WireRequest(readType_, [reads, this] { reads(RequestId::BusSwitchReadType, type_, ReplyEffect::ModuleType); });
  c.WireRequest(readVersion_,
                [reads, this] { reads(RequestId::BusSwitchReadVersion, version_, ReplyEffect::Version); });
}

BusSwitchTexts BusSwitchGroup::FieldTexts() const {
  auto text = [](const QLineEdit* e) { return e->text().toStdString(); };
  BusSwitchTexts t;
  t.subnet = subnet_->Value();
  for (std::size_t i = 0; i < 4; ++i) {
    t.ip[i] = text(ip_[i]);
    t.mask[i] = text(mask_[i]);
    t.gateway[i] = text(gateway_[i]);
    t.serverIp[i] = text(serverIp_[i]);
  }
  t.port = text(port_);
  t.serverPort = text(serverPort_);
  for (std::size_t i = 0; i < 6; ++i) t.mac[i] = text(mac_[i]);
  return t;
}

void BusSwitchGroup::ShowRecord(const BusSwitchRecord& record) {
  const BusSwitchTexts t = TextsFromRecord(record);
  auto put = [](QLineEdit* e, const std::string& s) { e->setText(QString::fromStdString(s)); };
  subnet_->SetValue(t.subnet);
  for (std::size_t i = 0; i < 4; ++i) {
    put(ip_[i], t.ip[i]);
    put(mask_[i], t.mask[i]);
    put(gateway_[i], t.gateway[i]);
    put(serverIp_[i], t.serverIp[i]);
  }
  put(port_, t.port);
  put(serverPort_, t.serverPort);
  for (std::size_t i = 0; i < 6; ++i) put(mac_[i], t.mac[i]);
}

}  // namespace veltra
