#include "console/infrared_input_pages.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/control_builders.h"
#include "console/spin_edit.h"
#include "protocol/input_commands.h"

namespace veltra {

using namespace ui;

InfraredPage::InfraredPage(const PageContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  auto* column = new QVBoxLayout(this);
  auto* group = MakeGroup("GroupBox9", QString());
  auto* grid = new QGridLayout(group);
  address_ = MakeSpin("SpinEdit14", Request(RequestId::InfraredSendCode).Field("ADDR"), 1);
  code_ = MakeSpin("SpinEdit13", Request(RequestId::InfraredSendCode).Field("CODE"), 0);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), address_);
  AddRow(grid, 1, 0, QStringLiteral("IR No. :"), code_);
  struct Command {
    const char* name;
    const char* caption;
    RequestId id;
  };
  const Command commands[] = {
      {"Button24", "En&able Learning", RequestId::InfraredLearnOn},
      {"Button26", "Disa&ble Learning", RequestId::InfraredLearnOff},
      {"Button25", "Delete Sin&gle ", RequestId::InfraredDeleteCode},
      {"Button27", "&Delete All", RequestId::InfraredDeleteAllCodes},
      {"Button28", "Send I&R Code", RequestId::InfraredSendCode},
  };
  auto* buttons = new QHBoxLayout;
  for (const Command& command : commands) {
    QPushButton* button = MakeButton(command.name, QString::fromUtf8(command.caption));
    buttons->addWidget(button);
    context_.WireRequest(button, [this, id = command.id] {
      context_.Send(id, PageContext::Read(id, {{"ADDR", address_}, {"CODE", code_}}));
    });
  }
  grid->addLayout(buttons, 2, 0, 1, 4);
  column->addWidget(group);
  column->addStretch();
}

InputPage::InputPage(const PageContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  const RequestSpec& bind = Request(RequestId::BindInput);
  auto* column = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  auto* input = MakeGroup("GroupBox10", QStringLiteral("Input Module"));
  auto* inputGrid = new QGridLayout(input);
  address_ = MakeSpin("SpinEdit15", bind.Field("ADDR"), 1);
  input_ = MakeSpin("SpinEdit17", bind.Field("INPUT"), 1);
  AddRow(inputGrid, 0, 0, QStringLiteral("Module Addr. :"), address_);
  AddRow(inputGrid, 1, 0, QStringLiteral("Input No. :"), input_);
  inputGrid->setRowStretch(2, 1);
  groups->addWidget(input);

  auto* output = MakeGroup("GroupBox11", QStringLiteral("Output Module"));
  auto* outputGrid = new QGridLayout(output);
  target_ = MakeSpin("SpinEdit18", bind.Field("--target"), 1);
  output_ = MakeSpin("SpinEdit16", bind.Field("--output"), 1);
  mode_ = MakeList("ComboBox15", {"Button", "Switch"}, "Button");
  QStringList functions;
  for (const InputFunction& f : InputFunctions())
    functions << QString::fromLatin1(f.item.data(), static_cast<qsizetype>(f.item.size()));
  function_ = MakeList("ComboBox16", functions, "Turn on Light");
  parameter_ = MakeSpin("SpinEdit20", bind.Field("--param"), 0);
  AddRow(outputGrid, 0, 0, QStringLiteral("Module Addr. :"), target_);
  AddRow(outputGrid, 1, 0, QStringLiteral("Output No. :"), output_);
  AddRow(outputGrid, 2, 0, QStringLiteral("Control Mode :"), mode_);
  AddRow(outputGrid, 3, 0, QStringLiteral("Function :"), function_);
  AddRow(outputGrid, 4, 0, QStringLiteral("Parameter :"), parameter_);
  groups->addWidget(output);
  column->addLayout(groups);

  QPushButton* set = MakeButton("Button35", QStringLiteral("&Set"));
  QPushButton* clear = MakeButton("Button36", QStringLiteral("Cle&ar"));
  context_.WireRequest(set, [this] { context_.Send(RequestId::BindInput, Values(RequestId::BindInput)); });
  context_.WireRequest(clear, [this] { context_.Send(RequestId::ClearInput, Values(RequestId::ClearInput)); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(set);
  buttons->addWidget(clear);
  buttons->addStretch();
  column->addLayout(buttons);
  column->addStretch();
}

RequestValues InputPage::Values(RequestId id) const {
  return PageContext::Read(id, {{"ADDR", address_},
                                {"INPUT", input_},
                                {"--mode", mode_},
                                {"--function", function_, 1},
                                {"--target", target_},
                                {"--output", output_},
                                {"--param", parameter_}});
}

}  // namespace veltra
