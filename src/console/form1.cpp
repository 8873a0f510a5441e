// The window itself: the constructor puts the panel, the tabs and the log
// together; start-up, closing, and the guard around operator actions.
#include "console/form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "console/app_identity.h"
#include "console/dialogs.h"
#include "console/exchange_texts.h"
#include "console/form1_builders.h"
#include "console/local_ip.h"
#include "console/exchange_controller.h"
#include "scenes/scene_store.h"

namespace veltra {

using form1::MakeGroup;

TForm1::TForm1(TForm1Options options, QWidget* parent) : QMainWindow(parent), options_(std::move(options)) {
  if (options_.dialogs) {
    dialogs_ = options_.dialogs;
  } else {
    ownDialogs_ = std::make_unique<MessageBoxDialogs>(this);
    dialogs_ = ownDialogs_.get();
  }
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Veltra --V01"));
  setWindowIcon(VeltraIcon());
  IdUDPClient1.ReceiveTimeout = 500;
  // Every link the window sends on or hears: frames that answer no request
  // of its own are logged as such, also while nothing waits.
  exchanges_ = std::make_unique<ExchangeController>(*this);
  for (Link* link : {static_cast<Link*>(&udpLink), static_cast<Link*>(serialLink.get()),
                     static_cast<Link*>(&closedNetwork_), options_.networkRequests, options_.serialRequests})
    if (link) exchanges_->AddLink(*link);
  exchanges_->onUnmatched = [this](const UnmatchedFrame& frame) {
    if (!frame.logLine.empty()) AppendLine(QString::fromStdString(frame.logLine));
  };
  AttachCapture();
  // The line's threads have failed (adapter unplugged, device gone). Handled
  // from the event loop: the notification is still being delivered.
  serialLink->onHangup = [this] {
    QMetaObject::invokeMethod(this, [this] { RunGuarded([this] { HandleSerialHangup(); }); }, Qt::QueuedConnection);
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
    // Each page scrolls, so the window fits small screens (1280x720) and
    // the log below keeps its lines.
    auto* content = new QWidget;
    (this->*page.build)(content);
    auto* sheet = new QScrollArea;
    sheet->setObjectName(page.name);
    sheet->setFrameShape(QFrame::NoFrame);
    sheet->setWidgetResizable(true);
    sheet->setWidget(content);
    page.sheet = sheet;
    PageControl1->addTab(sheet, QString::fromLatin1(page.caption));
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
  // Enough of the log in view to follow a few exchanges at a glance.
  Memo1->setMinimumHeight(Memo1->fontMetrics().lineSpacing() * 8);
  dataColumn->addWidget(Memo1);
  StatusBar1 = new QStatusBar;
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  statusPanel_ = new QLabel;
  statusPanel_->setObjectName("StatusBar1Panel");
  StatusBar1->addWidget(statusPanel_, 1);
  exchangePanel_ = new QLabel;
  exchangePanel_->setObjectName("StatusBar1Exchange");
  exchangePanel_->setAccessibleName(QStringLiteral("Last exchange"));
  StatusBar1->addPermanentWidget(exchangePanel_);
  dataColumn->addWidget(StatusBar1);
  Splitter1->addWidget(data);
  Splitter1->setStretchFactor(0, 3);
  Splitter1->setStretchFactor(1, 1);
  column->addWidget(Splitter1, 1);
  setCentralWidget(central);

  WireCommands();
  exchanges_->onBusyChanged = [this] { ShowRequestsHeld(); };
  ApplyListeningForm();
  connect(CheckBox13, &QCheckBox::toggled, this, [this] { ApplyListeningForm(); });
  BuildMenus();
  BuildToolsMenu();
  BindSceneGrid();
  if (options_.simulator) AttachSimulation();
  // Opens at its natural size where the screen has room for it, smaller
  // (the pages scroll) where it has not.
  if (const QScreen* display = screen())
    resize(sizeHint().boundedTo(display->availableGeometry().size() * 9 / 10).expandedTo(minimumSizeHint()));
  FormCreate();
}

TForm1::~TForm1() {
  DetachCapture();
  if (simulator_) {
    // The line first, then the bus behind it; no simulator thread posts to
    // the window after this.
    serialLink->Close();
    simulator_.reset();
  }
}

// ---------------------------------------------------------------- start and end

void TForm1::FormCreate() {
  QString folder = options_.sceneFolder;
  if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath() + '/';
  const bool opened = options_.sceneDatabase.isEmpty() ? ADOTable1->OpenSceneTable(folder)
                                                       : ADOTable1->OpenSceneFile(options_.sceneDatabase);
  if (!opened) dialogs_->Message(QStringLiteral("Can not find database"));
  const auto name = options_.hostName ? options_.hostName() : LocalHostName();
  if (const auto shown = LocalIpWithoutLookup(name)) {
    Edit3->setText(QString::fromStdString(*shown));
    return;
  }
  // The name service may take seconds (or time out) to answer: the window
  // shows at once and the field fills in when the answer comes.
  QHostInfo::lookupHost(QString::fromStdString(*name), this, [this](const QHostInfo& answer) {
    for (const QHostAddress& address : answer.addresses()) {
      if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        Edit3->setText(address.toString());
        return;
      }
    }
    Edit3->clear();
  });
}

void TForm1::FormClose() {
  serialLink->Close();
  udpLink.Close();
  // A request still waiting on either ends here.
  exchanges_->LinkChanged(*serialLink);
  exchanges_->LinkChanged(udpLink);
}

void TForm1::closeEvent(QCloseEvent* event) {
  DropUntouchedGridRow();  // a record added in the grid and never filled in
  RunGuarded([this] { FormClose(); });
  event->accept();
}

QString TForm1::StatusText() const { return statusPanel_->text(); }

void TForm1::SetStatusText(const QString& text) { statusPanel_->setText(text); }

QString TForm1::ExchangeText() const { return exchangePanel_->text(); }

void TForm1::SetExchangeText(const QString& text) { exchangePanel_->setText(text); }

// ---------------------------------------------------------------- operator actions

void TForm1::RunGuarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    dialogs_->ShowError(QString::fromUtf8(error.what()));
  } catch (...) {
    dialogs_->ShowError(QStringLiteral("Unknown error"));
  }
}

}  // namespace veltra
