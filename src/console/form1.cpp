#include "console/form1.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <exception>
#include <vector>

#include "console/dialogs.h"
#include "console/key_filters.h"
#include "console/local_ip.h"
#include "console/spin_edit.h"
#include "net/bus_switch_commands.h"
#include "protocol/input_commands.h"
#include "protocol/int_conversion.h"
#include "protocol/module_commands.h"
#include "protocol/output_commands.h"
#include "protocol/transmit_buffer.h"
#include "scenes/scene_commands.h"
#include "scenes/scene_store.h"
#include "serial/comm.h"
#include "serial/port_names.h"
#include "serial/qt_comm.h"

namespace veltra {
namespace {

const QString kCreate = QStringLiteral("Create");
const QString kClose = QStringLiteral("Close");

// ---- Small builders for the catalogue. Every control gets its name as
// objectName; a label is the buddy of its control and lends it its text as
// the accessible name.

QLabel* LabelFor(const QString& text, QWidget* control) {
  auto* label = new QLabel(text);
  label->setBuddy(control);
  control->setAccessibleName(text);
  return label;
}

SpinEdit* MakeSpin(const char* name, int minimum, int maximum, int value) {
  auto* spin = new SpinEdit(minimum, maximum, value);
  spin->setObjectName(name);
  return spin;
}

QLineEdit* MakeEdit(const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  return edit;
}

QComboBox* MakeList(const char* name, const QStringList& items, const QString& current) {
  auto* list = new QComboBox;
  list->setObjectName(name);
  list->addItems(items);
  list->setCurrentIndex(static_cast<int>(items.indexOf(current)));
  return list;
}

QPushButton* MakeButton(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* MakeCheck(const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(name);
  return box;
}

QGroupBox* MakeGroup(const char* name, const QString& title) {
  auto* group = new QGroupBox(title);
  group->setObjectName(name);
  return group;
}

// Label and control side by side in a grid row.
void AddRow(QGridLayout* grid, int row, int column, const QString& label, QWidget* control) {
  grid->addWidget(LabelFor(label, control), row, column);
  grid->addWidget(control, row, column + 1);
}

// Several small fields after one row label, with static separators ("." of
// an address, "-" of a MAC) between them.
void AddFieldsRow(QGridLayout* grid, int row, const QString& label, const std::vector<QLineEdit*>& fields,
                  const QString& separator) {
  auto* box = new QWidget;
  auto* line = new QHBoxLayout(box);
  line->setContentsMargins(0, 0, 0, 0);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line->addWidget(new QLabel(separator));
    fields[i]->setMaximumWidth(fields.size() > 1 ? 44 : 80);
    line->addWidget(fields[i]);
    // Every octet of the row is read by its row label.
    fields[i]->setAccessibleName(fields.size() > 1 ? QStringLiteral("%1 %2").arg(label).arg(i + 1) : label);
  }
  line->addStretch();
  auto* text = new QLabel(label);
  text->setBuddy(fields.front());
  grid->addWidget(text, row, 0);
  grid->addWidget(box, row, 1, 1, 3);
}

}  // namespace

TForm1::TForm1(TForm1Options options, QWidget* parent) : QMainWindow(parent), options_(std::move(options)) {
  if (options_.dialogs) {
    dialogs_ = options_.dialogs;
  } else {
    ownDialogs_ = std::make_unique<MessageBoxDialogs>(this);
    dialogs_ = ownDialogs_.get();
  }
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Veltra --V01"));
  IdUDPClient1.ReceiveTimeout = 500;
  Comm1 = MakeQtComm();
  Comm1->OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
    RunGuarded([&] { Comm1ReceiveData(buffer, length); });
  };
  ADOTable1 = new SceneStore(this);
  ADOTable1->setObjectName("ADOTable1");

  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  auto* settings = MakeGroup("GroupBox1", QStringLiteral("Communication Settings"));
  BuildCommunicationSettings(settings);
  column->addWidget(settings);

  Splitter1 = new QSplitter(Qt::Vertical);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setChildrenCollapsible(false);
  PageControl1 = new QTabWidget;
  PageControl1->setObjectName("PageControl1");
  struct Page {
    QWidget*& sheet;
    const char* name;
    const char* caption;
    void (TForm1::*build)(QWidget*);
  };
  const Page pages[] = {
      {TabSheet1, "TabSheet1", "Module Settings", &TForm1::BuildModuleSettings},
      {TabSheet2, "TabSheet2", "Scene Control", &TForm1::BuildSceneControl},
      {TabSheet3, "TabSheet3", "Light Control", &TForm1::BuildLightControl},
      {TabSheet4, "TabSheet4", "Curtain Control", &TForm1::BuildCurtainControl},
      {TabSheet5, "TabSheet5", "IR Control", &TForm1::BuildIrControl},
      {TabSheet6, "TabSheet6", "Input Module Control", &TForm1::BuildInputModuleControl},
  };
  for (const Page& page : pages) {
    page.sheet = new QWidget;
    page.sheet->setObjectName(page.name);
    (this->*page.build)(page.sheet);
    PageControl1->addTab(page.sheet, QString::fromLatin1(page.caption));
  }
  PageControl1->setCurrentWidget(TabSheet2);
  Splitter1->addWidget(PageControl1);

  auto* data = MakeGroup("GroupBox2", QStringLiteral("Communication Data"));
  auto* dataColumn = new QVBoxLayout(data);
  Memo1 = new QPlainTextEdit;
  Memo1->setObjectName("Memo1");
  Memo1->setAccessibleName(QStringLiteral("Communication Data"));
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The log grows for the whole run; an undo history of every appended line
  // would grow with it.
  Memo1->setUndoRedoEnabled(false);
  dataColumn->addWidget(Memo1);
  StatusBar1 = new QStatusBar;
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  statusPanel_ = new QLabel;
  statusPanel_->setObjectName("StatusBar1Panel");
  StatusBar1->addWidget(statusPanel_, 1);
  dataColumn->addWidget(StatusBar1);
  Splitter1->addWidget(data);
  Splitter1->setStretchFactor(0, 3);
  Splitter1->setStretchFactor(1, 1);
  column->addWidget(Splitter1, 1);
  setCentralWidget(central);

  WireCommands();
  BindSceneGrid();
  FormCreate();
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------- layout

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
  ComboBox5 = MakeList("ComboBox5", ports, "COM1");
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
  SpinEdit1 = MakeSpin("SpinEdit1", 0, 33, 1);
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
  SpinEdit5 = MakeSpin("SpinEdit5", 1, 32, 1);
  SpinEdit6 = MakeSpin("SpinEdit6", 1, 8, 1);
  SpinEdit4 = MakeSpin("SpinEdit4", 0, 50, 0);
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
  DBGrid1 = new QTableView;
  DBGrid1->setObjectName("DBGrid1");
  DBGrid1->setAccessibleName(QStringLiteral("Scene Information"));
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
  DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
  infoColumn->addWidget(DBGrid1);
  DataSource1 = new QObject(this);
  DataSource1->setObjectName("DataSource1");
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
  Delete1->setObjectName("Delete1");
  DeleteAll1 = PopupMenu1->addAction(QStringLiteral("Delete All"));
  DeleteAll1->setObjectName("DeleteAll1");
  connect(DBGrid1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(at)); });
  connect(Delete1, &QAction::triggered, this, [this] { RunGuarded([this] { Delete1Click(); }); });
  connect(DeleteAll1, &QAction::triggered, this, [this] { RunGuarded([this] { DeleteAll1Click(); }); });
  column->addWidget(info, 1);
}

void TForm1::BuildLightControl(QWidget* page) {
  auto* column = new QVBoxLayout(page);
  auto* group = MakeGroup("GroupBox5", QStringLiteral("Control Light "));
  auto* grid = new QGridLayout(group);
  SpinEdit2 = MakeSpin("SpinEdit2", 1, 32, 1);
  SpinEdit3 = MakeSpin("SpinEdit3", 1, 8, 1);
  SpinEdit11 = MakeSpin("SpinEdit11", 0, 65001, 0);
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
    lightBoxes[static_cast<std::size_t>(k)] = MakeCheck(names[k], QStringLiteral("Light%1").arg(k + 1));
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
  SpinEdit9 = MakeSpin("SpinEdit9", 1, 32, 1);
  SpinEdit10 = MakeSpin("SpinEdit10", 1, 4, 1);
  SpinEdit8 = MakeSpin("SpinEdit8", 0, 601, 200);
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
    curtainBoxes[static_cast<std::size_t>(k)] = MakeCheck(name.constData(), QStringLiteral("Curtain%1").arg(k + 1));
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
  SpinEdit14 = MakeSpin("SpinEdit14", 1, 32, 1);
  SpinEdit13 = MakeSpin("SpinEdit13", 0, 249, 0);
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
  SpinEdit15 = MakeSpin("SpinEdit15", 1, 32, 1);
  SpinEdit17 = MakeSpin("SpinEdit17", 1, 32, 1);
  AddRow(inputGrid, 0, 0, QStringLiteral("Module Addr. :"), SpinEdit15);
  AddRow(inputGrid, 1, 0, QStringLiteral("Input No. :"), SpinEdit17);
  inputGrid->setRowStretch(2, 1);
  groups->addWidget(input);

  auto* output = MakeGroup("GroupBox11", QStringLiteral("Output Module"));
  auto* outputGrid = new QGridLayout(output);
  SpinEdit18 = MakeSpin("SpinEdit18", 1, 32, 1);
  SpinEdit16 = MakeSpin("SpinEdit16", 1, 8, 1);
  ComboBox15 = MakeList("ComboBox15", {"Button", "Switch"}, "Button");
  QStringList functions;
  for (const InputFunction& f : InputFunctions())
    functions << QString::fromLatin1(f.item.data(), static_cast<qsizetype>(f.item.size()));
  ComboBox16 = MakeList("ComboBox16", functions, "Turn on Light");
  SpinEdit20 = MakeSpin("SpinEdit20", 0, 255, 0);
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

// ---------------------------------------------------------------- wiring

void TForm1::RunGuarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    dialogs_->ShowError(QString::fromUtf8(error.what()));
  } catch (...) {
    dialogs_->ShowError(QStringLiteral("Unknown error"));
  }
}

void TForm1::Wire(QPushButton* button, std::function<void()> action) {
  connect(button, &QPushButton::clicked, this, [this, action = std::move(action)] { RunGuarded(action); });
}

Addressing TForm1::CurrentAddressing() const {
  return ChooseAddressing(RadioButton1->isChecked(), CheckBox13->isChecked(), SpinEdit7->Value());
}

void TForm1::Send() { SendDataDeal(ProcessTransmitBuffer(), *this); }

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
      if (row.confirm && !dialogs_->Confirm(QStringLiteral("Are you sure?"))) return;
      BuildModuleCommand(ProcessTransmitBuffer(), row.command, CurrentAddressing(), SpinEdit1->Value());
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

// ---------------------------------------------------------------- start and end

void TForm1::FormCreate() {
  QString folder = options_.sceneFolder;
  if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath() + '/';
  if (!ADOTable1->OpenSceneTable(folder)) dialogs_->Message(QStringLiteral("Can not find database"));
  const auto name = options_.hostName ? options_.hostName() : LocalHostName();
  Edit3->setText(QString::fromStdString(LocalIpFromHostName(name)));
}

void TForm1::FormClose() {
  Comm1->ClosePort();
  IdUDPClient1.SetActive(false);
}

void TForm1::closeEvent(QCloseEvent* event) {
  RunGuarded([this] { FormClose(); });
  event->accept();
}

// ---------------------------------------------------------------- links

bool TForm1::NetworkSelected() const { return RadioButton1->isChecked(); }

bool TForm1::LogMasked() const { return chk1->isChecked(); }

void TForm1::AppendLog(const std::string& utf8Line) {
  pendingLog_.append(QString::fromUtf8(utf8Line));
  if (pendingLog_.size() == 1) QMetaObject::invokeMethod(this, &TForm1::FlushLog, Qt::QueuedConnection);
}

void TForm1::FlushLog() {
  if (pendingLog_.isEmpty()) return;
  QStringList lines;
  lines.swap(pendingLog_);
  // Follow the end of the log only when the operator has not scrolled away.
  QScrollBar* bar = Memo1->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  QTextDocument* log = Memo1->document();
  QTextCursor cursor(log);
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const QString& line : lines) {
    if (!log->isEmpty()) cursor.insertBlock();
    cursor.insertText(line);
  }
  cursor.endEditBlock();
  if (atEnd) bar->setValue(bar->maximum());
}

void TForm1::SendDatagram(const std::string& bytes) { IdUDPClient1.SendDatagram(bytes); }

std::string TForm1::ReceiveDatagram(int timeoutMs) { return IdUDPClient1.ReceiveDatagram(timeoutMs); }

void TForm1::ReceiveDeal(const std::string& bytes) {
  ApplyReply(DecodeRouted(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), LogMasked()));
}

bool TForm1::WriteData(const std::uint8_t* bytes, std::uint16_t length) { return Comm1->WriteData(bytes, length); }

void TForm1::Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length) {
  if (CheckBox13->isChecked()) {
    ReceiveDeal(std::string(reinterpret_cast<const char*>(buffer), length));
    return;
  }
  ApplyReply(DecodeDirect(buffer, length, LogMasked()));
}

QString TForm1::StatusText() const { return statusPanel_->text(); }

void TForm1::SetStatusText(const QString& text) { statusPanel_->setText(text); }

void TForm1::SetUdpRowEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{Edit3, Edit4, Edit5, Edit6, SpinEdit7, RadioButton1})
    w->setEnabled(enabled);
}

void TForm1::SetSerialRowEnabled(bool enabled) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{ComboBox1, ComboBox2, ComboBox3, ComboBox4, ComboBox5, RadioButton2})
    w->setEnabled(enabled);
}

void TForm1::Button10Click() {
  const QString caption = Button10->text();
  if (caption == kCreate) {
    Comm1->SetCommName(ComboBox5->currentText().toStdString());
    Comm1->SetBaudRate(static_cast<std::uint32_t>(StrToInt(ComboBox1->currentText().toStdString())));
    // By list position; the parity list is alphabetical, not in the order
    // of TParity. No selection leaves a property as it was.
    constexpr TByteSize kByteSizes[] = {TByteSize::_5, TByteSize::_6, TByteSize::_7, TByteSize::_8};
    constexpr TParity kParities[] = {TParity::Even, TParity::Mark, TParity::None, TParity::Odd, TParity::Space};
    constexpr TStopBits kStopBits[] = {TStopBits::_1, TStopBits::_1_5, TStopBits::_2};
    const int byteSize = ComboBox2->currentIndex();
    if (byteSize >= 0 && byteSize < 4) Comm1->SetByteSize(kByteSizes[byteSize]);
    const int parity = ComboBox3->currentIndex();
    if (parity >= 0 && parity < 5) Comm1->SetParity(kParities[parity]);
    const int stopBits = ComboBox4->currentIndex();
    if (stopBits >= 0 && stopBits < 3) Comm1->SetStopBits(kStopBits[stopBits]);
    try {
      Comm1->OpenPort();
      SetStatusText(QStringLiteral("Com is running!"));
      Button10->setText(kClose);
      SetSerialRowEnabled(false);
    } catch (...) {
      dialogs_->Message(QStringLiteral("Error!"));
    }
  } else if (caption == kClose) {
    try {
      Comm1->ClosePort();
      SetStatusText(QString());
      Button10->setText(kCreate);
      SetSerialRowEnabled(true);
    } catch (...) {
      dialogs_->Message(QStringLiteral("Error!"));
    }
  }
}

void TForm1::Button32Click() {
  const QString caption = Button32->text();
  if (caption == kCreate) {
    try {
      // A socket left behind by an earlier request or by the bus switch
      // "Read" would make the bind fail; the link starts from a fresh one.
      IdUDPClient1.SetActive(false);
      IdUDPClient1.Host = Edit4->text().toStdString();
      IdUDPClient1.Port = StrToInt(Edit5->text().toStdString());
      IdUDPClient1.SetBindingPort(StrToInt(Edit6->text().toStdString()));
      IdUDPClient1.BindLocalPort();
      IdUDPClient1.SetActive(true);
      Button32->setText(kClose);
      SetUdpRowEnabled(false);
      SetStatusText(QStringLiteral("UDP is running!"));
    } catch (...) {
      IdUDPClient1.SetActive(false);
      dialogs_->Message(QStringLiteral("Error!"));
    }
  } else if (caption == kClose) {
    SetStatusText(QString());
    IdUDPClient1.SetActive(false);
    Button32->setText(kCreate);
    SetUdpRowEnabled(true);
  }
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

void TForm1::btn1Click() {
  // A field that does not convert ends the action before anything is sent.
  const BusSwitchRecord record = RecordFromTexts(BusSwitchFieldTexts());
  BuildBusSwitchSet(ProcessTransmitBuffer(), record);
  Send();
}

void TForm1::btn2Click() {
  TIdUDPClient& udp = IdUDPClient1;
  udp.SetActive(false);
  udp.Host = options_.busSwitchBroadcastHost;
  udp.Port = StrToInt(Edit5->text().toStdString());
  udp.SetBindingPort(StrToInt(Edit6->text().toStdString()));
  udp.BindLocalPort();
  udp.SetActive(true);
  // The request goes to a broadcast address: allowed for this one socket,
  // which is discarded right after the reply.
  udp.SetSocketBroadcast(true);
  BuildBusSwitchRead(ProcessTransmitBuffer());
  try {
    Send();
  } catch (...) {
    if (udp.Active()) udp.SetSocketBroadcast(false);
    throw;
  }
  udp.SetActive(false);
  udp.Host = Edit4->text().toStdString();
  udp.Port = StrToInt(Edit5->text().toStdString());
  udp.SetBindingPort(StrToInt(Edit6->text().toStdString()));
  udp.BindLocalPort();
  udp.SetActive(true);
}

// ---------------------------------------------------------------- scenes

void TForm1::BindSceneGrid() {
  DBGrid1->setModel(ADOTable1->Model());
  // The grid follows the current record, and a row picked in the grid
  // becomes the current record.
  connect(ADOTable1, &SceneStore::currentRowChanged, this, [this](int row) {
    if (followingCurrentRow_) return;
    followingCurrentRow_ = true;
    if (row >= 0) {
      DBGrid1->selectRow(row);
      DBGrid1->scrollTo(ADOTable1->Model()->index(row, 0));
    } else {
      DBGrid1->clearSelection();
    }
    followingCurrentRow_ = false;
  });
  connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (followingCurrentRow_ || !current.isValid()) return;
            followingCurrentRow_ = true;
            ADOTable1->SetCurrentRow(current.row());
            followingCurrentRow_ = false;
          });
  connect(ADOTable1, &SceneStore::editFailed, this, [this](const QString& message) { dialogs_->ShowError(message); });
  // Deleting a row from the keyboard asks first.
  GridDeleteRow = new QAction(DBGrid1);
  GridDeleteRow->setObjectName("GridDeleteRow");
  GridDeleteRow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
  GridDeleteRow->setShortcutContext(Qt::WidgetShortcut);
  DBGrid1->addAction(GridDeleteRow);
  connect(GridDeleteRow, &QAction::triggered, this, [this] {
    RunGuarded([this] {
      const QModelIndex current = DBGrid1->currentIndex();
      if (!current.isValid()) return;
      if (!dialogs_->Confirm(QStringLiteral("Delete record?"))) return;
      ADOTable1->Model()->removeRows(current.row(), 1);
    });
  });
}

void TForm1::SaveSceneFromWindow() {
  std::array<QString, 8> codes;
  for (std::size_t k = 0; k < codes.size(); ++k)
    codes[k] = QString::fromStdString(ChannelCode(channelLists[k]->currentIndex()));
  ADOTable1->SaveSceneRecord(SpinEdit4->Value(), SpinEdit5->Value(), codes);
}

void TForm1::Delete1Click() {
  if (!ADOTable1->DeleteCurrentScene()) dialogs_->Message(QStringLiteral("No records!"));
}

void TForm1::DeleteAll1Click() {
  if (!ADOTable1->DeleteAllScenes()) dialogs_->Message(QStringLiteral("No records!"));
}

// ---------------------------------------------------------------- replies

void TForm1::ApplyReply(const DecodedReply& reply) {
  if (!reply.logLine) return;
  AppendLog(*reply.logLine);
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

}  // namespace veltra
