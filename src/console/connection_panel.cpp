#include "console/connection_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>
#include <stdexcept>

#include "console/control_builders.h"
#include "console/key_filters.h"
#include "console/network_fields.h"
#include "console/port_list.h"
#include "console/spin_edit.h"
#include "protocol/int_conversion.h"

namespace veltra {

using namespace ui;

namespace {

// Captions of the rows' buttons, each row with its own mnemonic.
const QString kSerialCreate = QStringLiteral("Cr&eate");
const QString kSerialClose = QStringLiteral("Clos&e");
const QString kNetworkCreate = QStringLiteral("&Create");
const QString kNetworkClose = QStringLiteral("&Close");

// The list positions in the order the lists show them; the parity list is
// alphabetical, not in the order of TParity.
constexpr TByteSize kByteSizes[] = {TByteSize::_5, TByteSize::_6, TByteSize::_7, TByteSize::_8};
constexpr TParity kParities[] = {TParity::Even, TParity::Mark, TParity::None, TParity::Odd, TParity::Space};
constexpr TStopBits kStopBits[] = {TStopBits::_1, TStopBits::_1_5, TStopBits::_2};

void RestoreList(QComboBox* list, const QSettings& settings, const QString& key) {
  if (!settings.contains(key)) return;
  const int at = list->findText(settings.value(key).toString());
  if (at >= 0) list->setCurrentIndex(at);
}

}  // namespace

ConnectionPanel::ConnectionPanel(QWidget* parent) : QGroupBox(QStringLiteral("Communication Settings"), parent) {
  setObjectName("GroupBox1");
  // Two rows, each a widget of its own so that its controls are found by
  // row: both rows have a "Create" button.
  auto* rows = new QVBoxLayout(this);
  auto* serialRow = new QWidget;
  serialRow->setObjectName("SerialRow");
  serialRow->setAccessibleName(QStringLiteral("Serial"));
  auto* networkRow = new QWidget;
  networkRow->setObjectName("NetworkRow");
  networkRow->setAccessibleName(QStringLiteral("Network"));
  rows->addWidget(serialRow);
  rows->addWidget(networkRow);
  BuildSerialRow(serialRow);
  BuildNetworkRow(networkRow);

  auto* links = new QButtonGroup(this);
  links->addButton(serial_);
  links->addButton(network_);
  connect(monitor_, &QCheckBox::toggled, this, &ConnectionPanel::monitorChanged);
  connect(mask_, &QCheckBox::toggled, this, &ConnectionPanel::logMaskChanged);
  connect(serialButton_, &QPushButton::clicked, this, [this] {
    if (serialOpen_)
      emit serialClose();
    else
      emit serialCreate();
  });
  connect(networkButton_, &QPushButton::clicked, this, [this] {
    if (udpOpen_)
      emit networkClose();
    else
      emit networkCreate();
  });
}

void ConnectionPanel::BuildSerialRow(QWidget* row) {
  auto* serial = new QHBoxLayout(row);
  serial->setContentsMargins(0, 0, 0, 0);
  port_ = new PortList;
  port_->setObjectName("ComboBox5");
  port_->Refresh();
  port_->setCurrentIndex(port_->findText(QStringLiteral("COM1")));
  baud_ = MakeList("ComboBox1",
                   {"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "115200", "128000"}, "9600");
  bits_ = MakeList("ComboBox2", {"5", "6", "7", "8"}, "8");
  parity_ = MakeList("ComboBox3", {"Even", "Mark", "None", "Odd", "Space"}, "None");
  stopBits_ = MakeList("ComboBox4", {"1", "1.5", "2"}, "1");
  serialButton_ = MakeButton("Button10", kSerialCreate);
  serial_ = new QRadioButton(QStringLiteral("C&om "));
  serial_->setObjectName("RadioButton2");
  serial_->setChecked(true);
  monitor_ = MakeCheck("CheckBox13", QStringLiteral("Monitor"));
  monitor_->setChecked(false);
  monitor_->setVisible(false);
  const std::pair<QString, QWidget*> fields[] = {
      {QStringLiteral("Com"), port_},         {QStringLiteral("Buad Rate"), baud_},
      {QStringLiteral("Bit Size  "), bits_}, {QStringLiteral("Parity"), parity_},
      {QStringLiteral("Stop Bits"), stopBits_},
  };
  for (const auto& [label, control] : fields) {
    serial->addWidget(LabelFor(label, control));
    serial->addWidget(control);
  }
  serial->addWidget(serialButton_);
  serial->addWidget(serial_);
  serial->addWidget(monitor_);
  serial->addStretch();
}

void ConnectionPanel::BuildNetworkRow(QWidget* row) {
  // The fields on one line, the bus switch check below them: the window
  // keeps its width.
  auto* lines = new QVBoxLayout(row);
  lines->setContentsMargins(0, 0, 0, 0);
  auto* network = new QHBoxLayout;
  lines->addLayout(network);
  localIp_ = MakeEdit("Edit3");
  localIp_->setReadOnly(true);
  // Shown only: selectable with the mouse, not a stop of the Tab key.
  localIp_->setFocusPolicy(Qt::ClickFocus);
  localPort_ = MakeEdit("Edit6");
  AttachKeyFilter(localPort_, Edit6KeyPress(this), 5);
  localPort_->setText("2002");
  remoteIp_ = MakeEdit("Edit4");
  AttachKeyFilter(remoteIp_, Edit4KeyPress(this), 253);  // a host name's length
  remoteIp_->setText("192.168.14.3");
  remotePort_ = MakeEdit("Edit5");
  AttachKeyFilter(remotePort_, Edit5KeyPress(this), 5);
  remotePort_->setText("2001");
  // Room for a full dotted address and a five-digit port.
  for (QLineEdit* address : {localIp_, remoteIp_})
    address->setMinimumWidth(address->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 12);
  for (QLineEdit* port : {remotePort_, localPort_})
    port->setMinimumWidth(port->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 14);
  subnet_ = MakeSpin("SpinEdit7", 0, 65535, 1);
  networkButton_ = MakeButton("Button32", kNetworkCreate);
  network_ = new QRadioButton(QStringLiteral("TC&P/IP "));
  network_->setObjectName("RadioButton1");
  mask_ = MakeCheck("chk1", QString::fromUtf8("\u516c\u5f00\u7248"));
  mask_->setChecked(true);
  mask_->setVisible(false);
  // Off unless the operator asks: a real bus is never loaded unasked.
  busSwitchCheck_ = MakeCheck("BusSwitchCheck", QStringLiteral("Check &bus switch every 10 s"));
  busSwitchCheck_->setAccessibleName(QStringLiteral("Check bus switch every 10 s"));
  busSwitchCheck_->setChecked(false);
  connect(busSwitchCheck_, &QCheckBox::toggled, this, &ConnectionPanel::busSwitchCheckChanged);
  const std::pair<QString, QWidget*> fields[] = {
      {QStringLiteral("Local IP "), localIp_},    {QStringLiteral("Local Port "), localPort_},
      {QStringLiteral("Remote IP "), remoteIp_},  {QStringLiteral("Remote Port "), remotePort_},
      {QStringLiteral("Subnet ID"), subnet_},
  };
  for (const auto& [label, control] : fields) {
    network->addWidget(LabelFor(label, control));
    network->addWidget(control);
  }
  network->addWidget(networkButton_);
  network->addWidget(network_);
  network->addWidget(mask_);
  network->addStretch();
  lines->addWidget(busSwitchCheck_);
}

LinkChoice ConnectionPanel::Choice() const { return {network_->isChecked(), monitor_->isChecked(), subnet_->Value()}; }

void ConnectionPanel::ChooseLink(bool network) { (network ? network_ : serial_)->setChecked(true); }

SerialSettings ConnectionPanel::SerialRow() const {
  SerialSettings settings;
  settings.device = port_->currentText().trimmed().toStdString();
  settings.baudRate = static_cast<std::uint32_t>(StrToInt(baud_->currentText().toStdString()));
  settings.byteSize = kByteSizes[std::clamp(bits_->currentIndex(), 0, 3)];
  settings.parity = kParities[std::clamp(parity_->currentIndex(), 0, 4)];
  settings.stopBits = kStopBits[std::clamp(stopBits_->currentIndex(), 0, 2)];
  return settings;
}

UdpSettings ConnectionPanel::NetworkRow() {
  const auto refuse = [](QLineEdit* field, const std::string& reason) {
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    throw std::invalid_argument(reason);
  };
  const std::string host = remoteIp_->text().trimmed().toStdString();
  const std::string remote = remotePort_->text().toStdString();
  const std::string local = localPort_->text().toStdString();
  if (const auto wrong = CheckRemoteHost(host)) refuse(remoteIp_, *wrong);
  if (const auto wrong = CheckRemotePort(remote)) refuse(remotePort_, *wrong);
  if (const auto wrong = CheckLocalPort(local)) refuse(localPort_, *wrong);
  return {host, *PortOf(remote, 1), *PortOf(local, 0)};
}

void ConnectionPanel::ShowLinks(bool serialOpen, bool udpOpen) {
  serialOpen_ = serialOpen;
  udpOpen_ = udpOpen;
  serialButton_->setText(serialOpen ? kSerialClose : kSerialCreate);
  networkButton_->setText(udpOpen ? kNetworkClose : kNetworkCreate);
  SetSerialFieldsEnabled(!serialOpen);
  SetNetworkFieldsEnabled(!udpOpen);
}

void ConnectionPanel::SetSerialFieldsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{baud_, bits_, parity_, stopBits_, port_}) w->setEnabled(enabled);
}

void ConnectionPanel::SetNetworkFieldsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{localIp_, remoteIp_, remotePort_, localPort_, subnet_})
    w->setEnabled(enabled);
}

void ConnectionPanel::ShowLocalIp(const QString& address) { localIp_->setText(address); }

void ConnectionPanel::PointAt(const UdpSettings& network) {
  remoteIp_->setText(QString::fromStdString(network.remoteHost));
  remotePort_->setText(QString::number(network.remotePort));
  localPort_->setText(QString::number(network.localPort));
}

void ConnectionPanel::ChooseSerialLine(const QString& path) {
  if (port_->findText(path) < 0) port_->addItem(path);
  port_->setCurrentIndex(port_->findText(path));
}

std::string ConnectionPanel::LinkText() const {
  if (network_->isChecked())
    return "UDP to " + remoteIp_->text().toStdString() + ":" + remotePort_->text().toStdString() + ", routed frames";
  return "serial line " + port_->currentText().toStdString() + " at " + baud_->currentText().toStdString() + " baud";
}

bool ConnectionPanel::LogMasked() const { return mask_->isChecked(); }

void ConnectionPanel::SetLogMasked(bool masked) { mask_->setChecked(masked); }

void ConnectionPanel::Save(QSettings& settings) const {
  settings.setValue("serial/port", port_->currentText());
  settings.setValue("serial/baudRate", baud_->currentText());
  settings.setValue("serial/bitSize", bits_->currentText());
  settings.setValue("serial/parity", parity_->currentText());
  settings.setValue("serial/stopBits", stopBits_->currentText());
  settings.setValue("network/remoteIp", remoteIp_->text());
  settings.setValue("network/remotePort", remotePort_->text());
  settings.setValue("network/localPort", localPort_->text());
  settings.setValue("network/subnetId", subnet_->Value());
  settings.setValue("link/network", network_->isChecked());
}

void ConnectionPanel::Restore(const QSettings& settings) {
  if (settings.contains("serial/port")) {
    const QString port = settings.value("serial/port").toString();
    const int at = port_->findText(port);
    if (at >= 0)
      port_->setCurrentIndex(at);
    else
      port_->setEditText(port);  // typed in, or an adapter not plugged in now
  }
  RestoreList(baud_, settings, "serial/baudRate");
  RestoreList(bits_, settings, "serial/bitSize");
  RestoreList(parity_, settings, "serial/parity");
  RestoreList(stopBits_, settings, "serial/stopBits");
  const std::pair<QLineEdit*, const char*> texts[] = {
      {remoteIp_, "network/remoteIp"}, {remotePort_, "network/remotePort"}, {localPort_, "network/localPort"}};
  for (const auto& [field, key] : texts)
    if (settings.contains(key)) field->setText(settings.value(key).toString());
  if (settings.contains("network/subnetId")) subnet_->SetValue(settings.value("network/subnetId").toInt());
  if (settings.contains("link/network")) ChooseLink(settings.value("link/network").toBool());
}

}  // namespace veltra
