#include "console/page_context.h"

#include <QComboBox>
#include <QPushButton>
#include <exception>
#include <stdexcept>

#include "console/dialogs.h"
#include "console/request_hold.h"
#include "console/spin_edit.h"

namespace veltra {

void MarkWaiting(QWidget* field, bool waiting) {
  if (field->property("waitingForReply").toBool() == waiting) return;
  field->setProperty("waitingForReply", waiting);
  QFont font = field->font();
  font.setItalic(waiting);
  field->setFont(font);
  const QString mark = waiting ? QString::fromLatin1(kWaitingMark) : QString();
  field->setToolTip(mark);
  field->setAccessibleDescription(mark);
}

int FieldSource::Value() const {
  if (const auto* spin = std::get_if<SpinEdit*>(&control)) return (*spin)->Value();
  return std::get<QComboBox*>(control)->currentIndex() + first;
}

void PageContext::Wire(QPushButton* button, std::function<void()> action) const {
  QObject::connect(button, &QPushButton::clicked, button,
                   [dialogs = &dialogs, action = std::move(action)] { RunGuarded(*dialogs, action); });
}

void PageContext::WireRequest(QPushButton* button, std::function<void()> action) const {
  hold.Add(button);
  Wire(button, [controller = &controller, action = std::move(action)] {
    if (controller->BusyReason().isEmpty()) action();
  });
}

RequestValues PageContext::Read(RequestId id, std::initializer_list<FieldSource> fields) {
  const RequestSpec& spec = Request(id);
  RequestValues values;
  for (const FieldSource& field : fields)
    if (spec.HasField(field.name)) values.ints[std::string(field.name)] = field.Value();
  return values;
}

bool PageContext::Send(RequestId id, RequestValues values, ConsoleController::ResultHandler apply,
                       const QString& details, const std::function<void()>& beforeSending) const {
  const RequestSpec& spec = Request(id);
  if (spec.confirm && !dialogs.Confirm(QStringLiteral("Are you sure?"), details)) return false;
  if (const auto wrong = CheckValues(spec, values)) throw std::invalid_argument(*wrong);
  if (beforeSending) beforeSending();
  return controller.Ask(id, std::move(values), std::move(apply));
}

QString PageContext::TargetText(int address, bool busSwitch) const {
  const Addressing addressing = controller.CurrentAddressing();
  if (busSwitch) return QStringLiteral("The bus switch (address 255) on subnet %1").arg(addressing.subnet);
  if (addressing.form == FrameForm::Direct)
    return QStringLiteral("Module %1 (direct on the serial line, no subnet)").arg(address);
  return QStringLiteral("Module %1 on subnet %2").arg(address).arg(addressing.subnet);
}

}  // namespace veltra
