// The command table: which button sends which request of the command
// catalogue, from which fields, and what its answer fills in; the bus switch
// "Set" and "Read".
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <stdexcept>
#include <variant>

#include "console/dialogs.h"
#include "console/exchange_controller.h"
#include "console/form1.h"
#include "console/spin_edit.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/scene_commands.h"

namespace veltra {
namespace {

// Where a request's field takes its value from: a spin field, or a list's
// item index plus `first` (the value of its first item).
struct FieldSource {
  std::string_view name;
  std::variant<SpinEdit*, QComboBox*> control;
  int first = 0;

  int Value() const {
    if (const auto* spin = std::get_if<SpinEdit*>(&control)) return (*spin)->Value();
    return std::get<QComboBox*>(control)->currentIndex() + first;
  }
};

}  // namespace

void TForm1::Wire(QPushButton* button, std::function<void()> action) {
  connect(button, &QPushButton::clicked, this, [this, action = std::move(action)] { RunGuarded(action); });
}

void TForm1::WireRequest(QPushButton* button, std::function<void()> action) {
  requestButtons_.push_back(button);
  // The button is unavailable meanwhile; a click that still comes (from
  // the program) sends nothing either.
  Wire(button, [this, action = std::move(action)] {
    if (RequestsHeldBecause().isEmpty()) action();
  });
}

Addressing TForm1::CurrentAddressing() const {
  return ChooseAddressing(RadioButton1->isChecked(), CheckBox13->isChecked(), SpinEdit7->Value());
}

void TForm1::WireCommands() {
  using R = RequestId;
  // What an answer fills in. A field it fills is emptied (or marked as
  // waiting) when the request goes, so it never shows an older answer
  // beside this request.
  enum class Fills { Nothing, Address, ModuleType, Version, BusSwitchType, BusSwitchVersion, Lights, Curtains };
  struct Row {
    QPushButton* button;
    RequestId id;
    std::vector<FieldSource> fields;
    Fills fills = Fills::Nothing;
  };
  const std::vector<FieldSource> module{{"ADDR", SpinEdit1}};
  const std::vector<FieldSource> light{{"ADDR", SpinEdit2}, {"OUTPUT", SpinEdit3}, {"SECONDS", SpinEdit11}};
  const std::vector<FieldSource> curtain{{"ADDR", SpinEdit9}, {"OUTPUT", SpinEdit10}, {"TENTHS", SpinEdit8}};
  const std::vector<FieldSource> infrared{{"ADDR", SpinEdit14}, {"CODE", SpinEdit13}};
  const std::vector<FieldSource> input{{"ADDR", SpinEdit15},      {"INPUT", SpinEdit17},      {"--mode", ComboBox15},
                                       {"--function", ComboBox16, 1}, {"--target", SpinEdit18}, {"--output", SpinEdit16},
                                       {"--param", SpinEdit20}};
  const std::vector<FieldSource> scene{{"ADDR", SpinEdit5}, {"SCENE", SpinEdit4}};
  const std::vector<Row> rows{
      // Subnet Module Settings: "Module Addr. :".
      {Button1, R::SetAddress, {{"NEW", SpinEdit1}}},
      {Button22, R::ReadAddress, {}, Fills::Address},
      {Button23, R::TestModule, module},
      {Button12, R::ReadModuleType, module, Fills::ModuleType},
      {Button29, R::ReadVersion, module, Fills::Version},
      {Button31, R::Restore, module},
      // Light Control.
      {Button2, R::LightOn, light},
      {Button3, R::LightOff, light},
      {Button4, R::LightToggle, light},
      {Button5, R::LightAllOn, light},
      {Button6, R::LightAllOff, light},
      {Button30, R::LightSetOnTime, light},
      {Button11, R::ReadStatus, light, Fills::Lights},
      // Curtain Control.
      {Button14, R::CurtainOpen, curtain},
      {Button15, R::CurtainClose, curtain},
      {Button16, R::CurtainStop, curtain},
      {Button18, R::CurtainOpenAll, curtain},
      {Button20, R::CurtainCloseAll, curtain},
      {Button17, R::CurtainStopAll, curtain},
      {Button21, R::CurtainSetTravelTime, curtain},
      {Button19, R::ReadStatus, curtain, Fills::Curtains},
      // IR Control: always the direct frame.
      {Button24, R::InfraredLearnOn, infrared},
      {Button26, R::InfraredLearnOff, infrared},
      {Button25, R::InfraredDeleteCode, infrared},
      {Button27, R::InfraredDeleteAllCodes, infrared},
      {Button28, R::InfraredSendCode, infrared},
      // Input Module Control.
      {Button35, R::BindInput, input},
      {Button36, R::ClearInput, input},
      // Scene Control: "Set" and "Clear" below, their answers change the table.
      {Button8, R::TestScene, scene},
      // Bus Switch Settings: always routed, to address 255.
      {Button9, R::BusSwitchReadType, {}, Fills::BusSwitchType},
      {Button33, R::BusSwitchReadVersion, {}, Fills::BusSwitchVersion},
      {Button34, R::BusSwitchRestore, {}},
  };
  for (const Row& row : rows) {
    WireRequest(row.button, [this, row] {
      const RequestSpec& spec = Request(row.id);
      // Read before the question: nothing that happens while it is open
      // changes which module the request goes to.
      RequestValues values;
      for (const FieldSource& field : row.fields)
        if (spec.HasField(field.name)) values.ints[std::string(field.name)] = field.Value();
      if (spec.confirm && !dialogs_->Confirm(QStringLiteral("Are you sure?"))) return;
      if (const auto wrong = CheckValues(spec, values)) throw std::invalid_argument(*wrong);

      ResultHandler apply;
      switch (row.fills) {
        case Fills::Nothing:
          break;
        case Fills::Address:
          MarkWaiting(SpinEdit1, true);
          apply = [this](const ExchangeResult& result) {
            MarkWaiting(SpinEdit1, false);
            if (result.outcome == ExchangeOutcome::Answered && result.decoded.effect == ReplyEffect::ModuleAddress)
              SpinEdit1->SetValue(result.decoded.moduleAddress);
          };
          break;
        case Fills::ModuleType:
        case Fills::Version:
        case Fills::BusSwitchType:
        case Fills::BusSwitchVersion: {
          const bool type = row.fills == Fills::ModuleType || row.fills == Fills::BusSwitchType;
          const bool busSwitch = row.fills == Fills::BusSwitchType || row.fills == Fills::BusSwitchVersion;
          QLineEdit* field = type ? (busSwitch ? Edit13 : Edit1) : (busSwitch ? Edit14 : Edit2);
          field->clear();
          apply = [field, effect = type ? ReplyEffect::ModuleType : ReplyEffect::Version](const ExchangeResult& r) {
            ShowText(field, effect, r);
          };
          break;
        }
        case Fills::Lights:
        case Fills::Curtains: {
          QCheckBox* const* boxes = row.fills == Fills::Lights ? lightBoxes.data() : curtainBoxes.data();
          const std::size_t count = row.fills == Fills::Lights ? lightBoxes.size() : curtainBoxes.size();
          for (std::size_t k = 0; k < count; ++k) MarkWaiting(boxes[k], true);
          apply = [this, boxes, count](const ExchangeResult& result) { ShowStatusBoxes(boxes, count, result); };
          break;
        }
      }
      Ask(PrepareRequest(spec, std::move(values), CurrentAddressing()), std::move(apply));
    });
  }

  // Scene Control: what a confirmation changes in the table comes from what
  // was sent, not from the fields as they are when it arrives.
  WireRequest(Button7, [this] {
    const RequestSpec& spec = Request(RequestId::SetScene);
    RequestValues values;
    values.ints["ADDR"] = SpinEdit5->Value();
    values.ints["SCENE"] = SpinEdit4->Value();
    std::array<int, kChannelCount> lists{};
    for (std::size_t k = 0; k < lists.size(); ++k) lists[k] = channelLists[k]->currentIndex();
    values.channelItems.assign(lists.begin(), lists.begin() + SpinEdit6->Value());
    if (const auto wrong = CheckValues(spec, values)) throw std::invalid_argument(*wrong);
    Ask(PrepareRequest(spec, std::move(values), CurrentAddressing()),
        [this, lists](const ExchangeResult& result) { StoreSentScene(result, lists); });
  });
  WireRequest(Button13, [this] {
    RequestValues values;
    values.ints["ADDR"] = SpinEdit5->Value();
    values.ints["SCENE"] = SpinEdit4->Value();
    Ask(PrepareRequest(Request(RequestId::ClearScene), std::move(values), CurrentAddressing()),
        [this](const ExchangeResult& result) {
          if (result.outcome == ExchangeOutcome::Answered &&
              result.decoded.effect == ReplyEffect::DeleteModuleScenes)
            ADOTable1->DeleteModuleScenes(result.request.values["ADDR"]);
        });
  });

  WireRequest(btn1, [this] { btn1Click(); });
  WireRequest(btn2, [this] { btn2Click(); });

  Wire(Button10, [this] { Button10Click(); });
  Wire(Button32, [this] { Button32Click(); });
}

// ---------------------------------------------------------------- bus switch

BusSwitchTexts TForm1::BusSwitchFieldTexts() const {
  auto text = [](const QLineEdit* e) { return e->text().toStdString(); };
  BusSwitchTexts t;
  t.subnet = SpinEdit12->Value();
  t.ip = {text(Edit9), text(edt5), text(Edit15), text(Edit17)};
  t.port = text(Edit11);
  t.mask = {text(Edit21), text(Edit22), text(Edit23), text(Edit24)};
  t.gateway = {text(Edit25), text(Edit26), text(Edit27), text(Edit28)};
  t.serverIp = {text(Edit29), text(Edit30), text(Edit31), text(Edit32)};
  t.serverPort = text(edt3);
  t.mac = {text(Edit7), text(Edit8), text(Edit33), text(Edit34), text(Edit35), text(Edit36)};
  return t;
}

void TForm1::btn1Click() {
  // A field that does not convert ends the action before anything is sent.
  RequestValues values;
  values.record = RecordFromTexts(BusSwitchFieldTexts());
  Ask(PrepareRequest(Request(RequestId::BusSwitchSet), std::move(values), CurrentAddressing()), {});
}

void TForm1::btn2Click() {
  // A bind failure ends the action here, with nothing sent.
  PointUdpClient(options_.busSwitchBroadcastHost);
  // The request goes to a broadcast address: allowed for this one socket,
  // which is discarded once the request is over.
  udpLink.SetBroadcast(true);
  // The client goes back to "Remote IP " whatever became of the request, so
  // an open link never keeps sending to the broadcast address; a link the
  // operator closed meanwhile stays closed.
  Ask(PrepareRequest(Request(RequestId::BusSwitchRead), {}, CurrentAddressing()),
      [this](const ExchangeResult& result) {
        if (result.outcome == ExchangeOutcome::Answered && result.decoded.effect == ReplyEffect::BusSwitchConfig)
          ShowBusSwitchRecord(result.decoded.busSwitchRecord);
        if (udpLink.IsOpen()) PointUdpClient(Edit4->text().toStdString());
      });
}

}  // namespace veltra
