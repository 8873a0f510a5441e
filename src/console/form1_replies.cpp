// Answers written into the window, each by the handler of the request it
// answers: the field that request fills, the status boxes of the tab that
// asked, the scene table from the values that were sent.
#include "console/form1.h"

#include <QCheckBox>
#include <QLineEdit>

#include "console/spin_edit.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/scene_commands.h"
#include "scenes/scene_store.h"

namespace veltra {

void TForm1::ShowText(QLineEdit* field, ReplyEffect effect, const ExchangeResult& result) {
  if (result.outcome == ExchangeOutcome::Answered && result.decoded.effect == effect)
    field->setText(QString::fromLatin1(result.decoded.text));
}

void TForm1::ShowStatusBoxes(QCheckBox* const* boxes, std::size_t count, const ExchangeResult& result) {
  for (std::size_t k = 0; k < count; ++k) MarkWaiting(boxes[k], false);
  if (result.outcome != ExchangeOutcome::Answered || result.decoded.effect != ReplyEffect::StatusBytes) return;
  // A reply with fewer outputs leaves the boxes past them as they were.
  const std::vector<bool>& bits = result.decoded.statusBits;
  for (std::size_t k = 0; k < count && k < bits.size(); ++k) boxes[k]->setChecked(bits[k]);
}

void TForm1::StoreSentScene(const ExchangeResult& result, const std::array<int, 8>& lists) {
  if (result.outcome != ExchangeOutcome::Answered || result.decoded.effect != ReplyEffect::SaveScene) return;
  const RequestValues& sent = result.request.values;
  std::array<QString, 8> codes;
  for (std::size_t k = 0; k < codes.size(); ++k) {
    const int item = k < sent.channelItems.size() ? sent.channelItems[k] : lists[k];
    codes[k] = QString::fromStdString(ChannelCode(item));
  }
  ADOTable1->SaveSceneRecord(sent["SCENE"], sent["ADDR"], codes);
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
