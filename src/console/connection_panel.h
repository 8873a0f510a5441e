#pragma once
// "Communication Settings": the serial row (port, "Buad Rate", "Bit Size  ",
// "Parity", "Stop Bits", "Create"/"Close") and the network row ("Local IP "
// shown only, "Local Port ", "Remote IP ", "Remote Port ", "Subnet ID",
// "Create"/"Close"), and the radio buttons "Com " and "TCP/IP " that choose
// the link a request takes. It gives the rows as settings values and says
// when a row's button is pressed; the window opens and closes the links.
// While a link is open its row's fields are locked; the radio buttons stay
// usable, so requests can go either way with both links open.
#include <QGroupBox>
#include <QString>

#include "console/console_controller.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSettings;

namespace veltra {

class PortList;
class SpinEdit;

class ConnectionPanel : public QGroupBox {
  Q_OBJECT
 public:
  explicit ConnectionPanel(QWidget* parent = nullptr);

  // The chosen link, "Monitor" and "Subnet ID" as shown now.
  LinkChoice Choice() const;
  void ChooseLink(bool network);
  // The serial row as chosen now; the port is whatever the list shows, a
  // name from it or a device path typed in.
  SerialSettings SerialRow() const;
  // The network row, checked: a field that holds no valid value throws
  // std::invalid_argument with the reason, and gets the keyboard focus.
  UdpSettings NetworkRow();
  // The rows follow the links: "Close" and locked while open.
  void ShowLinks(bool serialOpen, bool udpOpen);
  void ShowLocalIp(const QString& address);
  // Pointed at the simulated bus: the network row at its bus switch, its
  // serial line listed and chosen.
  void PointAt(const UdpSettings& network);
  void ChooseSerialLine(const QString& path);
  // The chosen link in words, for a report: "UDP to 192.168.14.3:2001,
  // routed frames" or "serial line COM1 at 9600 baud".
  std::string LinkText() const;
  // The hidden log mask ("公开版"): the log shows "X" instead of frame bytes.
  bool LogMasked() const;
  void SetLogMasked(bool masked);

  // The rows and the chosen link, kept between runs.
  void Save(QSettings& settings) const;
  void Restore(const QSettings& settings);

 signals:
  void serialCreate();
  void serialClose();
  void networkCreate();
  void networkClose();
  void monitorChanged(bool monitor);
  // "Check bus switch every 10 s" was ticked or cleared.
  void busSwitchCheckChanged(bool on);
  void logMaskChanged(bool masked);

 private:
  void BuildSerialRow(QWidget* row);
  void BuildNetworkRow(QWidget* row);
  void SetSerialFieldsEnabled(bool enabled);
  void SetNetworkFieldsEnabled(bool enabled);

  PortList* port_ = nullptr;          // ComboBox5 "Com"
  QComboBox* baud_ = nullptr;         // ComboBox1 "Buad Rate"
  QComboBox* bits_ = nullptr;         // ComboBox2 "Bit Size  "
  QComboBox* parity_ = nullptr;       // ComboBox3 "Parity"
  QComboBox* stopBits_ = nullptr;     // ComboBox4 "Stop Bits"
  QPushButton* serialButton_ = nullptr;  // Button10 "Create"/"Close"
  QRadioButton* serial_ = nullptr;    // RadioButton2 "Com "
  QCheckBox* monitor_ = nullptr;      // CheckBox13, hidden "Monitor"
  QLineEdit* localIp_ = nullptr;      // Edit3 "Local IP "
  QLineEdit* localPort_ = nullptr;    // Edit6 "Local Port "
  QLineEdit* remoteIp_ = nullptr;     // Edit4 "Remote IP "
  QLineEdit* remotePort_ = nullptr;   // Edit5 "Remote Port "
  SpinEdit* subnet_ = nullptr;        // SpinEdit7 "Subnet ID"
  QPushButton* networkButton_ = nullptr;  // Button32 "Create"/"Close"
  QRadioButton* network_ = nullptr;   // RadioButton1 "TCP/IP "
  QCheckBox* mask_ = nullptr;         // chk1, hidden log mask
  QCheckBox* busSwitchCheck_ = nullptr;  // "Check bus switch every 10 s", off
  bool serialOpen_ = false;
  bool udpOpen_ = false;
};

}  // namespace veltra
