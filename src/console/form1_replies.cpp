// Decoded replies written into the window.
#include "console/form1.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>

#include "console/exchange_texts.h"
#include "console/spin_edit.h"
#include "protocol/bus_switch_commands.h"
#include "scenes/scene_store.h"

namespace veltra {

void TForm1::ApplyReply(const DecodedReply& reply, std::optional<std::chrono::nanoseconds> roundTrip) {
  if (!reply.logLine) {
    if (roundTrip) SetExchangeText(InvalidReplyText(*roundTrip));
    return;
  }
  QString line = QString::fromUtf8(*reply.logLine);
  if (roundTrip && Timestamps->isChecked()) line += QStringLiteral(" (") + RoundTripText(*roundTrip) + ')';
  AppendLine(std::move(line));
  if (roundTrip) SetExchangeText(ReplyText(*roundTrip, reply.statusWord));
  switch (reply.effect) {
    case ReplyEffect::None:
      break;
    case ReplyEffect::StatusBytes:
      // The reply does not say which tab asked: the active tab decides, looked
      // at anew for every byte.
      for (std::size_t k = 0; k < reply.statusBits.size(); ++k) {
        QWidget* page = PageControl1->currentWidget();
        if (page == TabSheet3 && k < lightBoxes.size()) lightBoxes[k]->setChecked(reply.statusBits[k]);
        if (page == TabSheet4 && k < curtainBoxes.size()) curtainBoxes[k]->setChecked(reply.statusBits[k]);
      }
      break;
    case ReplyEffect::ModuleAddress:
      SpinEdit1->SetValue(reply.moduleAddress);
      break;
    case ReplyEffect::BusSwitchConfig:
      ShowBusSwitchRecord(reply.busSwitchRecord);
      break;
    case ReplyEffect::ModuleType:
      (reply.toBusSwitchFields ? Edit13 : Edit1)->setText(QString::fromLatin1(reply.text));
      break;
    case ReplyEffect::Version:
      (reply.toBusSwitchFields ? Edit14 : Edit2)->setText(QString::fromLatin1(reply.text));
      break;
    case ReplyEffect::SaveScene:
      SaveSceneFromWindow();
      break;
    case ReplyEffect::DeleteModuleScenes:
      ADOTable1->DeleteModuleScenes(SpinEdit5->Value());
      break;
  }
}

void TForm1::ShowBusSwitchRecord(const BusSwitchRecord& record) {
  const BusSwitchTexts t = TextsFromRecord(record);
  auto put = [](QLineEdit* e, const std::string& s) { e->setText(QString::fromStdString(s)); };
  SpinEdit12->SetValue(t.subnet);
  QLineEdit* const ip[] = {Edit9, edt5, Edit15, Edit17};
  QLineEdit* const mask[] = {Edit21, Edit22, Edit23, Edit24};
  QLineEdit* const gateway[] = {Edit25, Edit26, Edit27, Edit28};
  QLineEdit* const server[] = {Edit29, Edit30, Edit31, Edit32};
  QLineEdit* const mac[] = {Edit7, Edit8, Edit33, Edit34, Edit35, Edit36};
  for (std::size_t i = 0; i < 4; ++i) put(ip[i], t.ip[i]);
  put(Edit11, t.port);
  for (std::size_t i = 0; i < 4; ++i) put(mask[i], t.mask[i]);
  for (std::size_t i = 0; i < 4; ++i) put(gateway[i], t.gateway[i]);
  for (std::size_t i = 0; i < 4; ++i) put(server[i], t.serverIp[i]);
  put(edt3, t.serverPort);
  for (std::size_t i = 0; i < 6; ++i) put(mac[i], t.mac[i]);
}

}  // namespace veltra
