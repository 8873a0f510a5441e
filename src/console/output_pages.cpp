#include "console/output_pages.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/control_builders.h"
#include "console/spin_edit.h"
#include "console/status_check_box.h"

namespace veltra {

using namespace ui;

namespace {

struct Command {
  const char* name;
  const char* caption;
  RequestId id;
};

// The page's requests: each button sends one, with the page's fields.
void WireCommands(const PageContext& context, QGridLayout* grid, std::initializer_list<Command> commands,
                  std::initializer_list<FieldSource> fields) {
  auto* buttons = new QHBoxLayout;
  const std::vector<FieldSource> sources(fields);
  for (const Command& command : commands) {
    QPushButton* button = MakeButton(command.name, QString::fromUtf8(command.caption));
    buttons->addWidget(button);
    context.WireRequest(button, [context, id = command.id, sources] {
      RequestValues values;
      for (const FieldSource& field : sources)
        if (Request(id).HasField(field.name)) values.ints[std::string(field.name)] = field.Value();
      context.Send(id, std::move(values));
    });
  }
  grid->addLayout(buttons, 2, 0, 1, 4);
}

}  // namespace

void AskOutputStates(const PageContext& context, RequestValues values, const std::vector<QCheckBox*>& boxes) {
  context.Send(
      RequestId::ReadStatus, std::move(values),
      [boxes](const ExchangeResult& result) {
        for (QCheckBox* box : boxes) MarkWaiting(box, false);
        if (result.outcome != ExchangeOutcome::Answered || result.decoded.effect != ReplyEffect::StatusBytes) return;
        const std::vector<bool>& bits = result.decoded.statusBits;
        for (std::size_t k = 0; k < boxes.size() && k < bits.size(); ++k) boxes[k]->setChecked(bits[k]);
      },
      {},
      [boxes] {
        for (QCheckBox* box : boxes) MarkWaiting(box, true);
      });
}

LightPage::LightPage(const PageContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  auto* column = new QVBoxLayout(this);
  auto* group = MakeGroup("GroupBox5", QStringLiteral("Control Light "));
  auto* grid = new QGridLayout(group);
  address_ = MakeSpin("SpinEdit2", Request(RequestId::LightOn).Field("ADDR"), 1);
  output_ = MakeSpin("SpinEdit3", Request(RequestId::LightOn).Field("OUTPUT"), 1);
  seconds_ = MakeSpin("SpinEdit11", Request(RequestId::LightSetOnTime).Field("SECONDS"), 0);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), address_);
  AddRow(grid, 1, 0, QStringLiteral("Output No. :"), output_);
  const std::initializer_list<FieldSource> fields{{"ADDR", address_}, {"OUTPUT", output_}, {"SECONDS", seconds_}};
  WireCommands(context_, grid,
               {{"Button2", "&On", RequestId::LightOn},
                {"Button3", "O&ff", RequestId::LightOff},
                {"Button4", "O&n/Off", RequestId::LightToggle},
                {"Button5", "&All On", RequestId::LightAllOn},
                {"Button6", "A&ll Off", RequestId::LightAllOff}},
               fields);
  AddRow(grid, 3, 0, QStringLiteral("Turn-on  Time :"), seconds_);
  grid->addWidget(new QLabel(QStringLiteral("S  (0~65000S)")), 3, 2);
  QPushButton* set = MakeButton("Button30", QStringLiteral("&Set"));
  grid->addWidget(set, 3, 3);
  context_.WireRequest(set, [this] {
    context_.Send(RequestId::LightSetOnTime,
                  PageContext::Read(RequestId::LightSetOnTime,
                                    {{"ADDR", address_}, {"OUTPUT", output_}, {"SECONDS", seconds_}}));
  });
  column->addWidget(group);

  auto* status = MakeGroup("GroupBox6", QStringLiteral("Light Status"));
  auto* line = new QHBoxLayout(status);
  const char* names[8] = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4",
                          "CheckBox8", "CheckBox5", "CheckBox6", "CheckBox7"};
  for (int k = 0; k < 8; ++k) {
    boxes_.push_back(new StatusCheckBox(names[k], QStringLiteral("Light%1").arg(k + 1)));
    line->addWidget(boxes_.back());
  }
  QPushButton* read = MakeButton("Button11", QStringLiteral("&Read"));
  line->addWidget(read);
  context_.WireRequest(read, [this] {
    AskOutputStates(context_, PageContext::Read(RequestId::ReadStatus, {{"ADDR", address_}}), boxes_);
  });
  column->addWidget(status);
  column->addStretch();
}

CurtainPage::CurtainPage(const PageContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  auto* column = new QVBoxLayout(this);
  auto* group = MakeGroup("GroupBox7", QStringLiteral("Control Curtain "));
  auto* grid = new QGridLayout(group);
  address_ = MakeSpin("SpinEdit9", Request(RequestId::CurtainOpen).Field("ADDR"), 1);
  output_ = MakeSpin("SpinEdit10", Request(RequestId::CurtainOpen).Field("OUTPUT"), 1);
  tenths_ = MakeSpin("SpinEdit8", Request(RequestId::CurtainSetTravelTime).Field("TENTHS"), 200);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), address_);
  AddRow(grid, 1, 0, QStringLiteral("Output No. :"), output_);
  const std::initializer_list<FieldSource> fields{{"ADDR", address_}, {"OUTPUT", output_}, {"TENTHS", tenths_}};
  WireCommands(context_, grid,
               {{"Button14", "&Open", RequestId::CurtainOpen},
                {"Button15", "&Close", RequestId::CurtainClose},
                {"Button16", "Sto&p", RequestId::CurtainStop},
                {"Button18", "All Ope&n", RequestId::CurtainOpenAll},
                {"Button20", "&All Close", RequestId::CurtainCloseAll},
                {"Button17", "A&ll Stop", RequestId::CurtainStopAll}},
               fields);
  AddRow(grid, 3, 0, QStringLiteral("Opening/Closing Time :"), tenths_);
  grid->addWidget(new QLabel(QStringLiteral("x 0.1S  Range:0~60.0S; ")), 3, 2);
  QPushButton* set = MakeButton("Button21", QStringLiteral("&Set"));
  grid->addWidget(set, 3, 3);
  context_.WireRequest(set, [this] {
    context_.Send(RequestId::CurtainSetTravelTime,
                  PageContext::Read(RequestId::CurtainSetTravelTime,
                                    {{"ADDR", address_}, {"OUTPUT", output_}, {"TENTHS", tenths_}}));
  });
  column->addWidget(group);

  auto* status = MakeGroup("GroupBox8", QStringLiteral("Curtain Status"));
  auto* line = new QHBoxLayout(status);
  for (int k = 0; k < 4; ++k) {
    const QByteArray name = "CheckBox" + QByteArray::number(9 + k);
    boxes_.push_back(new StatusCheckBox(name.constData(), QStringLiteral("Curtain%1").arg(k + 1)));
    line->addWidget(boxes_.back());
  }
  QPushButton* read = MakeButton("Button19", QStringLiteral("&Read"));
  line->addWidget(read);
  context_.WireRequest(read, [this] {
    AskOutputStates(context_, PageContext::Read(RequestId::ReadStatus, {{"ADDR", address_}}), boxes_);
  });
  column->addWidget(status);
  column->addStretch();
}

}  // namespace veltra
