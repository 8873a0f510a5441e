// The command tables: which button builds which request from which fields,
// and the bus switch "Set" and "Read".
#include "console/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>

#include "console/dialogs.h"
#include "console/spin_edit.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/input_commands.h"
#include "protocol/int_conversion.h"
#include "protocol/module_commands.h"
#include "protocol/output_commands.h"
#include "protocol/transmit_buffer.h"
#include "protocol/scene_commands.h"

namespace veltra {

void TForm1::Wire(QPushButton* button, std::function<void()> action) {
  connect(button, &QPushButton::clicked, this, [this, action = std::move(action)] { RunGuarded(action); });
}

Addressing TForm1::CurrentAddressing() const {
  return ChooseAddressing(RadioButton1->isChecked(), CheckBox13->isChecked(), SpinEdit7->Value());
}

void TForm1::WireCommands() {
  // Subnet Module Settings: every request addresses "Module Addr. :".
  struct ModuleRow {
    QPushButton* button;
    ModuleCommand command;
    bool confirm;
  };
  for (const ModuleRow& row : std::initializer_list<ModuleRow>{
           {Button1, ModuleCommand::SetAddress, false},
           {Button22, ModuleCommand::ReadAddress, false},
           {Button23, ModuleCommand::TestModule, false},
           {Button12, ModuleCommand::ReadModuleType, false},
           {Button29, ModuleCommand::ReadVersion, false},
           {Button31, ModuleCommand::Restore, true},
       }) {
    Wire(row.button, [this, row] {
      // Read before the question: an address reply handled while it is open
      // must not change which module is restored.
      const int module = SpinEdit1->Value();
      if (row.confirm && !dialogs_->Confirm(QStringLiteral("Are you sure?"))) return;
      BuildModuleCommand(ProcessTransmitBuffer(), row.command, CurrentAddressing(), module);
      Send();
    });
  }

  // Light and Curtain Control: module, output and time fields of the tab.
  struct OutputRow {
    QPushButton* button;
    OutputCommand command;
    SpinEdit* module;
    SpinEdit* output;
    SpinEdit* time;
  };
  for (const OutputRow& row : std::initializer_list<OutputRow>{
           {Button2, OutputCommand::LightOn, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button3, OutputCommand::LightOff, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button4, OutputCommand::LightToggle, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button5, OutputCommand::LightAllOn, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button6, OutputCommand::LightAllOff, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button30, OutputCommand::LightSetOnTime, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button11, OutputCommand::LightReadStatus, SpinEdit2, SpinEdit3, SpinEdit11},
           {Button14, OutputCommand::CurtainOpen, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button15, OutputCommand::CurtainClose, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button16, OutputCommand::CurtainStop, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button18, OutputCommand::CurtainOpenAll, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button20, OutputCommand::CurtainCloseAll, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button17, OutputCommand::CurtainStopAll, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button21, OutputCommand::CurtainSetTravelTime, SpinEdit9, SpinEdit10, SpinEdit8},
           {Button19, OutputCommand::CurtainReadStatus, SpinEdit9, SpinEdit10, SpinEdit8},
       }) {
    Wire(row.button, [this, row] {
      const OutputFields fields{row.module->Value(), row.output->Value(), row.time->Value()};
      BuildOutputCommand(ProcessTransmitBuffer(), row.command, CurrentAddressing(), fields);
      Send();
    });
  }

  // IR Control: always the direct frame.
  struct InfraredRow {
    QPushButton* button;
    InfraredCommand command;
  };
  for (const InfraredRow& row : std::initializer_list<InfraredRow>{
           {Button24, InfraredCommand::LearnOn},
           {Button26, InfraredCommand::LearnOff},
           {Button25, InfraredCommand::DeleteCode},
           {Button27, InfraredCommand::DeleteAllCodes},
           {Button28, InfraredCommand::SendCode},
       }) {
    Wire(row.button, [this, row] {
      BuildInfraredCommand(ProcessTransmitBuffer(), row.command, SpinEdit14->Value(), SpinEdit13->Value());
      Send();
    });
  }

  // Input Module Control.
  Wire(Button35, [this] {
    BindInputFields fields;
    fields.inputModule = SpinEdit15->Value();
    fields.input = SpinEdit17->Value();
    fields.outputModule = SpinEdit18->Value();
    fields.output = SpinEdit16->Value();
    fields.controlMode = ComboBox15->currentIndex();
    fields.function = ComboBox16->currentIndex();
    fields.parameter = SpinEdit20->Value();
    BuildBindInput(ProcessTransmitBuffer(), CurrentAddressing(), fields);
    Send();
  });
  Wire(Button36, [this] {
    BuildClearInput(ProcessTransmitBuffer(), CurrentAddressing(), SpinEdit15->Value(), SpinEdit17->Value());
    Send();
  });

  // Scene Control.
  enum class SceneRequest { Set, Clear, Test };
  struct SceneRow {
    QPushButton* button;
    SceneRequest request;
  };
  for (const SceneRow& row : std::initializer_list<SceneRow>{
           {Button7, SceneRequest::Set}, {Button13, SceneRequest::Clear}, {Button8, SceneRequest::Test}}) {
    Wire(row.button, [this, row] {
      TransmitBuffer& buffer = ProcessTransmitBuffer();
      const Addressing addressing = CurrentAddressing();
      switch (row.request) {
        case SceneRequest::Set: {
          std::array<int, kChannelCount> items{};
          for (std::size_t k = 0; k < items.size(); ++k) items[k] = channelLists[k]->currentIndex();
          BuildSetScene(buffer, addressing, SpinEdit5->Value(), SpinEdit4->Value(), SpinEdit6->Value(), items);
          break;
        }
        case SceneRequest::Clear:
          BuildClearScene(buffer, addressing, SpinEdit5->Value(), SpinEdit4->Value());
          break;
        case SceneRequest::Test:
          BuildTestScene(buffer, addressing, SpinEdit4->Value());
          break;
      }
      Send();
    });
  }

  // Bus Switch Settings: always routed, to address 255.
  struct BusSwitchRow {
    QPushButton* button;
    BusSwitchQuery query;
    bool confirm;
  };
  for (const BusSwitchRow& row : std::initializer_list<BusSwitchRow>{
           {Button9, BusSwitchQuery::ReadModuleType, false},
           {Button33, BusSwitchQuery::ReadVersion, false},
           {Button34, BusSwitchQuery::Restore, true},
       }) {
    Wire(row.button, [this, row] {
      if (row.confirm && !dialogs_->Confirm(QStringLiteral("Are you sure?"))) return;
      BuildBusSwitchQuery(ProcessTransmitBuffer(), row.query, SpinEdit7->Value());
      Send();
    });
  }
  Wire(btn1, [this] { btn1Click(); });
  Wire(btn2, [this] { btn2Click(); });

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
  const BusSwitchRecord record = RecordFromTexts(BusSwitchFieldTexts());
  BuildBusSwitchSet(ProcessTransmitBuffer(), record);
  Send();
}

void TForm1::btn2Click() {
  PointUdpClient(options_.busSwitchBroadcastHost);
  // The request goes to a broadcast address: allowed for this one socket,
  // which is discarded right after the reply.
  udpLink.SetBroadcast(true);
  BuildBusSwitchRead(ProcessTransmitBuffer());
  // The client goes back to "Remote IP " even when the request fails, so an
  // open link never keeps sending to the broadcast address.
  auto restore = [this] { PointUdpClient(Edit4->text().toStdString()); };
  try {
    Send();
  } catch (...) {
    try {
      restore();
    } catch (...) {
      // The request's own error is the one the operator sees.
    }
    throw;
  }
  restore();
}

}  // namespace veltra
