// The control catalogue: the communication panel and the six tab pages,
// built once by the constructor.
#include "console/form1.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>
#include <vector>

#include "console/form1_builders.h"
#include "console/key_filters.h"
#include "console/scene_grid_view.h"
#include "console/spin_edit.h"
#include "console/status_check_box.h"
#include "protocol/command_catalogue.h"
#include "protocol/input_commands.h"
#include "protocol/scene_commands.h"
#include "serial/port_names.h"

namespace veltra {

using namespace form1;

namespace {

// The range of a request's value: every field that feeds a request takes
// its range from the command catalogue.
const FieldSpec& FieldOf(RequestId id, std::string_view name) { return Request(id).Field(name); }

}  // namespace

void TForm1::BuildCommunicationSettings(QWidget* panel) {
  // Two rows, each a widget of its own so that its controls are found by row:
  // both rows have a "Create" button.
  auto* rows = new QVBoxLayout(panel);
  auto* serialRow = new QWidget;
  serialRow->setObjectName("SerialRow");
  serialRow->setAccessibleName(QStringLiteral("Serial"));
  auto* networkRow = new QWidget;
  networkRow->setObjectName("NetworkRow");
  networkRow->setAccessibleName(QStringLiteral("Network"));
  rows->addWidget(serialRow);
  rows->addWidget(networkRow);

  auto* serial = new QHBoxLayout(serialRow);
  serial->setContentsMargins(0, 0, 0, 0);
  QStringList ports;
  for (const std::string& name : SerialPortNames()) ports << QString::fromStdString(name);
  ComboBox5 = new PortList;
  ComboBox5->setObjectName("ComboBox5");
  ComboBox5->addItems(ports);
  ComboBox5->setCurrentIndex(static_cast<int>(ports.indexOf(QStringLiteral("COM1"))));
  ComboBox1 = MakeList("ComboBox1",
                       {"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "115200", "128000"},
                       "9600");
  ComboBox2 = MakeList("ComboBox2", {"5", "6", "7", "8"}, "8");
  ComboBox3 = MakeList("ComboBox3", {"Even", "Mark", "None", "Odd", "Space"}, "None");
  ComboBox4 = MakeList("ComboBox4", {"1", "1.5", "2"}, "1");
  Button10 = MakeButton("Button10", kCreate);
  RadioButton2 = new QRadioButton(QStringLiteral("Com "));
  RadioButton2->setObjectName("RadioButton2");
  RadioButton2->setChecked(true);
  CheckBox13 = MakeCheck("CheckBox13", QStringLiteral("Monitor"));
  CheckBox13->setChecked(false);
  CheckBox13->setVisible(false);
  const std::pair<QString, QWidget*> serialFields[] = {
      {QStringLiteral("Com"), ComboBox5},         {QStringLiteral("Buad Rate"), ComboBox1},
      {QStringLiteral("Bit Size  "), ComboBox2}, {QStringLiteral("Parity"), ComboBox3},
      {QStringLiteral("Stop Bits"), ComboBox4},
  };
  for (const auto& [label, control] : serialFields) {
    serial->addWidget(LabelFor(label, control));
    serial->addWidget(control);
  }
  serial->addWidget(Button10);
  serial->addWidget(RadioButton2);
  serial->addWidget(CheckBox13);
  serial->addStretch();

  auto* network = new QHBoxLayout(networkRow);
  network->setContentsMargins(0, 0, 0, 0);
  Edit3 = MakeEdit("Edit3");
  Edit3->setReadOnly(true);
  Edit6 = MakeEdit("Edit6");
  AttachKeyFilter(Edit6, Edit6KeyPress(this), 5);
  Edit6->setText("2002");
  Edit4 = MakeEdit("Edit4");
  AttachKeyFilter(Edit4, Edit4KeyPress(this), 15);
  Edit4->setText("192.168.14.3");
  Edit5 = MakeEdit("Edit5");
  AttachKeyFilter(Edit5, Edit5KeyPress(this), 5);
  Edit5->setText("2001");
  // Room for a full dotted address and a five-digit port.
  for (QLineEdit* address : {Edit3, Edit4})
    address->setMinimumWidth(address->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 12);
  for (QLineEdit* port : {Edit5, Edit6})
    port->setMinimumWidth(port->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 14);
  SpinEdit7 = MakeSpin("SpinEdit7", 0, 65535, 1);
  Button32 = MakeButton("Button32", kCreate);
  RadioButton1 = new QRadioButton(QStringLiteral("TCP/IP "));
  RadioButton1->setObjectName("RadioButton1");
  chk1 = MakeCheck("chk1", QString::fromUtf8("\u516c\u5f00\u7248"));
  chk1->setChecked(true);
  chk1->setVisible(false);
  const std::pair<QString, QWidget*> networkFields[] = {
      {QStringLiteral("Local IP "), Edit3},    {QStringLiteral("Local Port "), Edit6},
      {QStringLiteral("Remote IP "), Edit4},   {QStringLiteral("Remote Port "), Edit5},
      {QStringLiteral("Subnet ID"), SpinEdit7},
  };
  for (const auto& [label, control] : networkFields) {
    network->addWidget(LabelFor(label, control));
    network->addWidget(control);
  }
  network->addWidget(Button32);
  network->addWidget(RadioButton1);
  network->addWidget(chk1);
  network->addStretch();

  auto* links = new QButtonGroup(panel);
  links->addButton(RadioButton2);
  links->addButton(RadioButton1);
}

void TForm1::BuildModuleSettings(QWidget* page) {
  auto* column = new QHBoxLayout(page);

  auto* grp1 = MakeGroup("grp1", QStringLiteral("Subnet Module Settings"));
  auto* grid = new QGridLayout(grp1);
  SpinEdit1 = MakeSpin("SpinEdit1", FieldOf(RequestId::ReadModuleType, "ADDR"), 1);
  Button1 = MakeButton("Button1", QStringLiteral("Set"));
  Button22 = MakeButton("Button22", QStringLiteral("Read"));
  Button23 = MakeButton("Button23", QStringLiteral("Test"));
  Button12 = MakeButton("Button12", QStringLiteral("Read Module Type"));
  Edit1 = MakeEdit("Edit1");
  Edit1->setAccessibleName(QStringLiteral("Module Type"));
  Button29 = MakeButton("Button29", QStringLiteral("Read Software Version"));
  Edit2 = MakeEdit("Edit2");
  Edit2->setAccessibleName(QStringLiteral("Software Version"));
  Button31 = MakeButton("Button31", QStringLiteral("Restore"));
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit1);
  grid->addWidget(Button1, 0, 2);
  grid->addWidget(Button22, 0, 3);
  grid->addWidget(Button23, 1, 2);
  grid->addWidget(Button12, 2, 0);
  grid->addWidget(Edit1, 2, 1, 1, 3);
  grid->addWidget(Button29, 3, 0);
  grid->addWidget(Edit2, 3, 1, 1, 3);
  grid->addWidget(Button31, 4, 0);
  grid->setRowStretch(5, 1);
  column->addWidget(grp1);

  auto* group = MakeGroup("grp2", QStringLiteral("Bus Switch Settings"));
  auto* rows = new QGridLayout(group);
  SpinEdit12 = MakeSpin("SpinEdit12", 0, 65535, 1);
  AddRow(rows, 0, 0, QStringLiteral("Subnet ID :"), SpinEdit12);
  auto octets = [this](std::initializer_list<std::pair<QLineEdit**, const char*>> names) {
    std::vector<QLineEdit*> fields;
    for (auto [field, name] : names) {
      *field = MakeEdit(name);
      AttachKeyFilter(*field, Edit9KeyPress(this), 3);
      fields.push_back(*field);
    }
    return fields;
  };
  auto port = [this](QLineEdit*& field, const char* name) {
    field = MakeEdit(name);
    AttachKeyFilter(field, Edit6KeyPress(this), 5);
    return std::vector<QLineEdit*>{field};
  };
  AddFieldsRow(rows, 1, QStringLiteral("Bus Switch IP :"),
               octets({{&Edit9, "Edit9"}, {&edt5, "edt5"}, {&Edit15, "Edit15"}, {&Edit17, "Edit17"}}), ".");
  AddFieldsRow(rows, 2, QStringLiteral("Bus Switch Port :"), port(Edit11, "Edit11"), "");
  AddFieldsRow(rows, 3, QStringLiteral("Bus Switch Mask :"),
               octets({{&Edit21, "Edit21"}, {&Edit22, "Edit22"}, {&Edit23, "Edit23"}, {&Edit24, "Edit24"}}), ".");
  AddFieldsRow(rows, 4, QStringLiteral("Bus Switch Gateway :"),
               octets({{&Edit25, "Edit25"}, {&Edit26, "Edit26"}, {&Edit27, "Edit27"}, {&Edit28, "Edit28"}}), ".");
  AddFieldsRow(rows, 5, QStringLiteral("Server IP :"),
               octets({{&Edit29, "Edit29"}, {&Edit30, "Edit30"}, {&Edit31, "Edit31"}, {&Edit32, "Edit32"}}), ".");
  AddFieldsRow(rows, 6, QStringLiteral("Server Port :"), port(edt3, "edt3"), "");
  std::vector<QLineEdit*> mac;
  for (auto [field, name] : std::initializer_list<std::pair<QLineEdit**, const char*>>{
           {&Edit7, "Edit7"}, {&Edit8, "Edit8"}, {&Edit33, "Edit33"},
           {&Edit34, "Edit34"}, {&Edit35, "Edit35"}, {&Edit36, "Edit36"}}) {
    *field = MakeEdit(name);
    AttachKeyFilter(*field, Edit7KeyPress(this), 2);
    mac.push_back(*field);
  }
  AddFieldsRow(rows, 7, QStringLiteral("Bus Switch MAC :"), mac, "-");

  btn1 = MakeButton("btn1", QStringLiteral("Set"));
  btn2 = MakeButton("btn2", QStringLiteral("Read"));
  Button9 = MakeButton("Button9", QStringLiteral("Read Module Type"));
  Edit13 = MakeEdit("Edit13");
  Edit13->setAccessibleName(QStringLiteral("Bus Switch Module Type"));
  Button33 = MakeButton("Button33", QStringLiteral("Read Software Version"));
  Edit14 = MakeEdit("Edit14");
  Edit14->setAccessibleName(QStringLiteral("Bus Switch Software Version"));
  Button34 = MakeButton("Button34", QStringLiteral("Restore"));
  auto* setRead = new QHBoxLayout;
  setRead->addWidget(btn1);
  setRead->addWidget(btn2);
  setRead->addWidget(Button34);
  setRead->addStretch();
  rows->addLayout(setRead, 8, 0, 1, 4);
  rows->addWidget(Button9, 9, 0);
  rows->addWidget(Edit13, 9, 1, 1, 3);
  rows->addWidget(Button33, 10, 0);
  rows->addWidget(Edit14, 10, 1, 1, 3);
  rows->setRowStretch(11, 1);
  column->addWidget(group, 1);
}

void TForm1::BuildSceneControl(QWidget* page) {
  auto* column = new QHBoxLayout(page);
  auto* group = MakeGroup("GroupBox3", QStringLiteral("Set Scene "));
  auto* grid = new QGridLayout(group);
  SpinEdit5 = MakeSpin("SpinEdit5", FieldOf(RequestId::SetScene, "ADDR"), 1);
  SpinEdit6 = MakeSpin("SpinEdit6", 1, kChannelCount, 1);
  const FieldSpec& sceneNo = FieldOf(RequestId::SetScene, "SCENE");
  SpinEdit4 = MakeSpin("SpinEdit4", sceneNo, sceneNo.min);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit5);
  AddRow(grid, 1, 0, QStringLiteral("Outputs :"), SpinEdit6);
  AddRow(grid, 2, 0, QStringLiteral("Scene No. :"), SpinEdit4);
  for (int k = 0; k < 8; ++k) {
    const QByteArray name = "ComboBox" + QByteArray::number(6 + k);
    channelLists[static_cast<std::size_t>(k)] =
        MakeList(name.constData(), {"OFF", "ON", "No Change"}, "No Change");
    AddRow(grid, 3 + k % 4, (k / 4) * 2, QStringLiteral("CH%1 :").arg(k + 1), channelLists[static_cast<std::size_t>(k)]);
  }
  Button7 = MakeButton("Button7", QStringLiteral("Set"));
  Button8 = MakeButton("Button8", QStringLiteral("Test"));
  Button13 = MakeButton("Button13", QStringLiteral("Clear"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button7);
  buttons->addWidget(Button8);
  buttons->addWidget(Button13);
  grid->addLayout(buttons, 7, 0, 1, 4);
  grid->setRowStretch(8, 1);
  column->addWidget(group);

  auto* info = MakeGroup("GroupBox4", QStringLiteral("Scene Information"));
  auto* infoColumn = new QVBoxLayout(info);
  DBGrid1 = new SceneGridView;
  DBGrid1->setObjectName("DBGrid1");
  DBGrid1->setAccessibleName(QStringLiteral("Scene Information"));
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
  DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
  infoColumn->addWidget(DBGrid1);
  BuildSceneMenu();
  column->addWidget(info, 1);
}

void TForm1::BuildLightControl(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  auto* group = MakeGroup("GroupBox5", QStringLiteral("Control Light "));
  auto* grid = new QGridLayout(group);
  SpinEdit2 = MakeSpin("SpinEdit2", FieldOf(RequestId::LightOn, "ADDR"), 1);
  SpinEdit3 = MakeSpin("SpinEdit3", FieldOf(RequestId::LightOn, "OUTPUT"), 1);
  SpinEdit11 = MakeSpin("SpinEdit11", FieldOf(RequestId::LightSetOnTime, "SECONDS"), 0);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit2);
  AddRow(grid, 1, 0, QStringLiteral("Output No. :"), SpinEdit3);
  Button2 = MakeButton("Button2", QStringLiteral("On"));
  Button3 = MakeButton("Button3", QStringLiteral("Off"));
  Button4 = MakeButton("Button4", QStringLiteral("On/Off"));
  Button5 = MakeButton("Button5", QStringLiteral("All On"));
  Button6 = MakeButton("Button6", QStringLiteral("All Off"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button2, Button3, Button4, Button5, Button6}) buttons->addWidget(b);
  grid->addLayout(buttons, 2, 0, 1, 4);
  AddRow(grid, 3, 0, QStringLiteral("Turn-on  Time :"), SpinEdit11);
  grid->addWidget(new QLabel(QStringLiteral("S  (0~65000S)")), 3, 2);
  Button30 = MakeButton("Button30", QStringLiteral("Set"));
  grid->addWidget(Button30, 3, 3);
  column->addWidget(group);

  auto* status = MakeGroup("GroupBox6", QStringLiteral("Light Status"));
  auto* line = new QHBoxLayout(status);
  const char* names[8] = {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4",
                          "CheckBox8", "CheckBox5", "CheckBox6", "CheckBox7"};
  for (int k = 0; k < 8; ++k) {
    lightBoxes[static_cast<std::size_t>(k)] = new StatusCheckBox(names[k], QStringLiteral("Light%1").arg(k + 1));
    line->addWidget(lightBoxes[static_cast<std::size_t>(k)]);
  }
  Button11 = MakeButton("Button11", QStringLiteral("Read"));
  line->addWidget(Button11);
  column->addWidget(status);
  column->addStretch();
}

void TForm1::BuildCurtainControl(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  auto* group = MakeGroup("GroupBox7", QStringLiteral("Control Curtain "));
  auto* grid = new QGridLayout(group);
  SpinEdit9 = MakeSpin("SpinEdit9", FieldOf(RequestId::CurtainOpen, "ADDR"), 1);
  SpinEdit10 = MakeSpin("SpinEdit10", FieldOf(RequestId::CurtainOpen, "OUTPUT"), 1);
  SpinEdit8 = MakeSpin("SpinEdit8", FieldOf(RequestId::CurtainSetTravelTime, "TENTHS"), 200);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit9);
  AddRow(grid, 1, 0, QStringLiteral("Output No. :"), SpinEdit10);
  Button14 = MakeButton("Button14", QStringLiteral("Open"));
  Button15 = MakeButton("Button15", QStringLiteral("Close"));
  Button16 = MakeButton("Button16", QStringLiteral("Stop"));
  Button18 = MakeButton("Button18", QStringLiteral("All Open"));
  Button20 = MakeButton("Button20", QStringLiteral("All Close"));
  Button17 = MakeButton("Button17", QStringLiteral("All Stop"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button14, Button15, Button16, Button18, Button20, Button17}) buttons->addWidget(b);
  grid->addLayout(buttons, 2, 0, 1, 4);
  AddRow(grid, 3, 0, QStringLiteral("Opening/Closing Time :"), SpinEdit8);
  grid->addWidget(new QLabel(QStringLiteral("x 0.1S  Range:0~60.0S; ")), 3, 2);
  Button21 = MakeButton("Button21", QStringLiteral("Set"));
  grid->addWidget(Button21, 3, 3);
  column->addWidget(group);

  auto* status = MakeGroup("GroupBox8", QStringLiteral("Curtain Status"));
  auto* line = new QHBoxLayout(status);
  for (int k = 0; k < 4; ++k) {
    const QByteArray name = "CheckBox" + QByteArray::number(9 + k);
    curtainBoxes[static_cast<std::size_t>(k)] =
        new StatusCheckBox(name.constData(), QStringLiteral("Curtain%1").arg(k + 1));
    line->addWidget(curtainBoxes[static_cast<std::size_t>(k)]);
  }
  Button19 = MakeButton("Button19", QStringLiteral("Read"));
  line->addWidget(Button19);
  column->addWidget(status);
  column->addStretch();
}

void TForm1::BuildIrControl(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  auto* group = MakeGroup("GroupBox9", QString());
  auto* grid = new QGridLayout(group);
  SpinEdit14 = MakeSpin("SpinEdit14", FieldOf(RequestId::InfraredSendCode, "ADDR"), 1);
  SpinEdit13 = MakeSpin("SpinEdit13", FieldOf(RequestId::InfraredSendCode, "CODE"), 0);
  AddRow(grid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit14);
  AddRow(grid, 1, 0, QStringLiteral("IR No. :"), SpinEdit13);
  Button24 = MakeButton("Button24", QStringLiteral("Enable Learning"));
  Button26 = MakeButton("Button26", QStringLiteral("Disable Learning"));
  Button25 = MakeButton("Button25", QStringLiteral("Delete Single "));
  Button27 = MakeButton("Button27", QStringLiteral("Delete All"));
  Button28 = MakeButton("Button28", QStringLiteral("Send IR Code"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {Button24, Button26, Button25, Button27, Button28}) buttons->addWidget(b);
  grid->addLayout(buttons, 2, 0, 1, 4);
  column->addWidget(group);
  column->addStretch();
}

void TForm1::BuildInputModuleControl(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  auto* groups = new QHBoxLayout;
  auto* input = MakeGroup("GroupBox10", QStringLiteral("Input Module"));
  auto* inputGrid = new QGridLayout(input);
  SpinEdit15 = MakeSpin("SpinEdit15", FieldOf(RequestId::BindInput, "ADDR"), 1);
  SpinEdit17 = MakeSpin("SpinEdit17", FieldOf(RequestId::BindInput, "INPUT"), 1);
  AddRow(inputGrid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit15);
  AddRow(inputGrid, 1, 0, QStringLiteral("Input No. :"), SpinEdit17);
  inputGrid->setRowStretch(2, 1);
  groups->addWidget(input);

  auto* output = MakeGroup("GroupBox11", QStringLiteral("Output Module"));
  auto* outputGrid = new QGridLayout(output);
  SpinEdit18 = MakeSpin("SpinEdit18", FieldOf(RequestId::BindInput, "--target"), 1);
  SpinEdit16 = MakeSpin("SpinEdit16", FieldOf(RequestId::BindInput, "--output"), 1);
  ComboBox15 = MakeList("ComboBox15", {"Button", "Switch"}, "Button");
  QStringList functions;
  for (const InputFunction& f : InputFunctions())
    functions << QString::fromLatin1(f.item.data(), static_cast<qsizetype>(f.item.size()));
  ComboBox16 = MakeList("ComboBox16", functions, "Turn on Light");
  SpinEdit20 = MakeSpin("SpinEdit20", FieldOf(RequestId::BindInput, "--param"), 0);
  AddRow(outputGrid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit18);
  AddRow(outputGrid, 1, 0, QStringLiteral("Output No. :"), SpinEdit16);
  AddRow(outputGrid, 2, 0, QStringLiteral("Control Mode :"), ComboBox15);
  AddRow(outputGrid, 3, 0, QStringLiteral("Function :"), ComboBox16);
  AddRow(outputGrid, 4, 0, QStringLiteral("Parameter :"), SpinEdit20);
  groups->addWidget(output);
  column->addLayout(groups);

  Button35 = MakeButton("Button35", QStringLiteral("Set"));
  Button36 = MakeButton("Button36", QStringLiteral("Clear"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button35);
  buttons->addWidget(Button36);
  buttons->addStretch();
  column->addLayout(buttons);
  column->addStretch();
}

}  // namespace veltra
