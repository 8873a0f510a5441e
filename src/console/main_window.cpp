#include "console/main_window.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

#include "console/app_identity.h"
#include "console/bus_scan_dialog.h"
#include "console/connection_panel.h"
#include "console/control_builders.h"
#include "console/dialogs.h"
#include "console/exchange_controller.h"
#include "console/exchange_texts.h"
#include "console/infrared_input_pages.h"
#include "console/local_ip.h"
#include "console/module_page.h"
#include "console/monitor_log.h"
#include "console/output_pages.h"
#include "console/page_context.h"
#include "console/replace_file.h"
#include "console/request_hold.h"
#include "console/scene_page.h"
#include "console/simulation_banner.h"
#include "console/site_plan_dialog.h"
#include "monitor/bus_monitor_docks.h"
#include "console/tools_menu.h"
#include "scenes/scene_table_model.h"

namespace veltra {
namespace {

const QString kSerialRunning = QStringLiteral("Com is running!");
const QString kNetworkRunning = QStringLiteral("UDP is running!");
const QString kHowToBegin = QStringLiteral("Choose a link and press Create");
constexpr int kSavedMessageMs = 15000;

QMenu* AddMenu(QMenuBar* bar, const QString& title, const char* objectName) {
  QMenu* menu = bar->addMenu(title);
  menu->setObjectName(objectName);
  menu->setAccessibleName(QString(title).remove('&'));
  return menu;
}

QAction* MakeCheckable(QMenu* menu, const QString& text, const char* objectName) {
  QAction* action = menu->addAction(text);
  action->setObjectName(objectName);
  action->setCheckable(true);
  action->setChecked(false);
  return action;
}

// A status panel shows a new text: assistive tools read it as the panel's
// name, and hear that it changed.
void ShowAndTell(QLabel* panel, const QString& text) {
  if (panel->text() == text) return;
  panel->setText(text);
  QAccessibleEvent changed(panel, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent) : QMainWindow(parent), options_(std::move(options)) {
  if (options_.dialogs) {
    dialogs_ = options_.dialogs;
  } else {
    ownDialogs_ = std::make_unique<MessageBoxDialogs>(this);
    dialogs_ = ownDialogs_.get();
  }
  setObjectName("Form1");
  setWindowTitle(WindowTitle());
  setWindowIcon(VeltraIcon());
  ConsoleOptions console;
  console.busSwitchBroadcastHost = options_.busSwitchBroadcastHost;
  console.simulator = std::move(options_.simulator);
  console.simulationLocalPort = options_.simulationLocalPort;
  console.networkRequests = options_.networkRequests;
  console.serialRequests = options_.serialRequests;
  console.historyPath = options_.historyPath;
  console.stableSerialFolder = options_.stableSerialFolder;
  controller_ = std::make_unique<ConsoleController>(std::move(console), *dialogs_);
  hold_ = new RequestHold(this);

  auto* central = new QWidget;
  auto* column = new QVBoxLayout(central);
  panel_ = new ConnectionPanel;
  column->addWidget(panel_);
  splitter_ = new QSplitter(Qt::Vertical);
  splitter_->setObjectName("Splitter1");
  splitter_->setChildrenCollapsible(false);
  BuildPages();
  BuildLog();
  column->addWidget(splitter_, 1);
  setCentralWidget(central);

  BuildMenus();
  WireLinks();
  if (controller_->Simulator()) AttachSimulation();
  // Opens at a size that uses the screen, where it has room for it;
  // smaller screens scroll the pages.
  if (const QScreen* display = screen()) resize(InitialSize(display->availableGeometry().size(), minimumSizeHint()));
  RestoreSettings();
  StartUp();
  ShowLinks();
}

MainWindow::~MainWindow() {
  // The pages and the scan go before the controller they send through.
  delete scan_;
  delete sitePlan_;
  delete monitorDocks_;  // before the history it shows
  delete takeCentralWidget();
  controller_.reset();
}

QSize MainWindow::InitialSize(const QSize& available, const QSize& minimum) {
  const QSize sane(1600, 1000);
  return (available * 9 / 10).boundedTo(sane).expandedTo(minimum);
}

void MainWindow::BuildPages() {
  pages_ = new QTabWidget;
  pages_->setObjectName("PageControl1");
  const PageContext context{*controller_, *dialogs_, *hold_};
  scenePage_ = new ScenePage(context, controller_->Scenes());
  struct Page {
    QWidget* content;
    const char* name;
    const char* caption;
  };
  const Page pages[] = {
      {new ModulePage(context), "TabSheet1", "&Module Settings"},
      {scenePage_, "TabSheet2", "&Scene Control"},
      {new LightPage(context), "TabSheet3", "&Light Control"},
      {new CurtainPage(context), "TabSheet4", "C&urtain Control"},
      {new InfraredPage(context), "TabSheet5", "&IR Control"},
      {new InputPage(context), "TabSheet6", "I&nput Module Control"},
  };
  for (const Page& page : pages) {
    // Each page scrolls, so the window fits small screens and the log
    // below keeps its lines. The scroll area is no stop of the Tab key.
    auto* sheet = new QScrollArea;
    sheet->setObjectName(page.name);
    sheet->setFrameShape(QFrame::NoFrame);
    sheet->setWidgetResizable(true);
    sheet->setFocusPolicy(Qt::NoFocus);
    sheet->setWidget(page.content);
    pages_->addTab(sheet, QString::fromUtf8(page.caption));
  }
  pages_->setCurrentIndex(0);
  splitter_->addWidget(pages_);
}

void MainWindow::BuildLog() {
  auto* data = ui::MakeGroup("GroupBox2", QStringLiteral("Communication Data"));
  logGroup_ = data;
  auto* dataColumn = new QVBoxLayout(data);
  log_ = new MonitorLog;
  dataColumn->addWidget(log_);
  statusBar_ = new QStatusBar;
  statusBar_->setObjectName("StatusBar1");
  statusBar_->setSizeGripEnabled(false);
  linksPanel_ = new QLabel;
  linksPanel_->setObjectName("StatusBar1Panel");
  statusBar_->addWidget(linksPanel_, 1);
  // Its accessible name is the text it shows, so that assistive tools read
  // it and hear of each change; what it is goes in the description.
  exchangePanel_ = new QLabel;
  exchangePanel_->setObjectName("StatusBar1Exchange");
  exchangePanel_->setAccessibleDescription(QStringLiteral("Last exchange"));
  statusBar_->addPermanentWidget(exchangePanel_);
  dataColumn->addWidget(statusBar_);
  splitter_->addWidget(data);
  splitter_->setStretchFactor(0, 2);
  splitter_->setStretchFactor(1, 1);
}

void MainWindow::BuildMenus() {
  fileMenu_ = AddMenu(menuBar(), QStringLiteral("&File"), "FileMenu");
  openSitePlan_ = fileMenu_->addAction(QString::fromUtf8("&Open Site Plan\u2026"));
  openSitePlan_->setObjectName("OpenSitePlan");
  connect(openSitePlan_, &QAction::triggered, this, [this] { RunGuarded([this] { OpenSitePlan(); }); });
  fileMenu_->addSeparator();
  fileSaveEnd_ = fileMenu_->addSeparator();
  QAction* quit = fileMenu_->addAction(QStringLiteral("&Quit"));
  quit->setObjectName("Quit");
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setMenuRole(QAction::QuitRole);
  connect(quit, &QAction::triggered, this, &QWidget::close);
  AddFileSaveAction(QString::fromUtf8("&Save Log\u2026"), "SaveLog", QKeySequence(Qt::CTRL | Qt::Key_S),
                    [this] { SaveLog(); });
  AddFileSaveAction(QString::fromUtf8("Save &Capture\u2026"), "SaveCapture", QKeySequence(), [this] { SaveCapture(); });

  QMenu* view = AddMenu(menuBar(), QStringLiteral("&View"), "ViewMenu");
  showFrameBytes_ = MakeCheckable(view, QStringLiteral("Show &Frame Bytes"), "ShowFrameBytes");
  // The hidden mask stays what the log follows; the item only drives it, and
  // follows it back should anything else change it.
  connect(showFrameBytes_, &QAction::toggled, this, [this](bool shown) { panel_->SetLogMasked(!shown); });
  timestamps_ = MakeCheckable(view, QStringLiteral("&Timestamps"), "Timestamps");
  connect(timestamps_, &QAction::toggled, this, [this](bool on) {
    log_->SetTimestamps(on);
    controller_->SetRoundTripsShown(on);
  });
  view->addSeparator();
  QAction* clear = view->addAction(QStringLiteral("&Clear Log"));
  clear->setObjectName("ClearLog");
  connect(clear, &QAction::triggered, this, [this] { RunGuarded([this] { ClearLog(); }); });
  InstallMonitorDocks(*view);

  QMenu* help = AddMenu(menuBar(), QStringLiteral("&Help"), "HelpMenu");
  QAction* about = help->addAction(QStringLiteral("&About Veltra"));
  about->setObjectName("AboutVeltra");
  about->setMenuRole(QAction::AboutRole);
  connect(about, &QAction::triggered, this, [this] { RunGuarded([this] { ShowAbout(); }); });

  AddToolsMenu(menuBar(), [this] { RunGuarded([this] { ShowBusScan(); }); },
               [this] { RunGuarded([this] { ShowSitePlan(); }); });
}

QAction* MainWindow::AddFileSaveAction(const QString& text, const char* objectName, const QKeySequence& shortcut,
                                       std::function<void()> handler) {
  auto* action = new QAction(text, fileMenu_);
  action->setObjectName(objectName);
  action->setShortcut(shortcut);
  fileMenu_->insertAction(fileSaveEnd_, action);
  connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] { RunGuarded(handler); });
  return action;
}

void MainWindow::WireLinks() {
  controller_->linkChoice = [this] { return panel_->Choice(); };
  controller_->networkRow = [this] { return panel_->NetworkRow(); };
  connect(panel_, &ConnectionPanel::serialCreate, this, [this] { RunGuarded([this] { CreateSerial(); }); });
  connect(panel_, &ConnectionPanel::serialClose, this, [this] { RunGuarded([this] { controller_->CloseSerial(); }); });
  connect(panel_, &ConnectionPanel::networkCreate, this, [this] { RunGuarded([this] { CreateNetwork(); }); });
  connect(panel_, &ConnectionPanel::networkClose, this, [this] { RunGuarded([this] { controller_->CloseUdp(); }); });
  connect(panel_, &ConnectionPanel::monitorChanged, this, [this](bool monitor) { controller_->SetMonitorForm(monitor); });
  connect(panel_, &ConnectionPanel::logMaskChanged, this, [this](bool masked) {
    controller_->SetLogMasked(masked);
    showFrameBytes_->setChecked(!masked);
  });
  controller_->SetLogMasked(panel_->LogMasked());
  connect(controller_.get(), &ConsoleController::linksChanged, this, &MainWindow::ShowLinks);
  connect(controller_.get(), &ConsoleController::busSwitchNoticeChanged, this, &MainWindow::ShowLinks);
  connect(panel_, &ConnectionPanel::busSwitchCheckChanged, this, [this](bool on) { controller_->SetBusSwitchCheck(on); });
  connect(controller_.get(), &ConsoleController::lineLogged, log_, &MonitorLog::Append);
  connect(controller_.get(), &ConsoleController::exchangeTextChanged, this, &MainWindow::SetExchangeText);
  connect(controller_.get(), &ConsoleController::busyChanged, this, [this](const QString& reason) {
    hold_->Show(reason);
    // The Tools' runs cannot start while one of the window's requests waits.
    const QString held = controller_->ScanRunning() ? QString() : reason;
    if (scan_) scan_->SetStartHeld(held);
    if (sitePlan_) sitePlan_->SetStartHeld(held);
  });
  // An input module's own requests, for the site plan's test.
  controller_->onUnmatched = [this](const UnmatchedFrame& frame) {
    if (sitePlan_) sitePlan_->Heard(frame);
  };
}

void MainWindow::AttachSimulation() {
  QStringList where;
  if (const auto network = controller_->SimulatedNetwork()) {
    panel_->PointAt(*network);
    where << QStringLiteral("bus switch on UDP 127.0.0.1:%1").arg(network->remotePort);
  }
  if (const QString line = controller_->SimulatedLine(); !line.isEmpty()) {
    panel_->ChooseSerialLine(line);
    where << QStringLiteral("modules on serial line %1").arg(line);
  }
  setWindowTitle(windowTitle() + QStringLiteral(" \u2014 SIMULATED BUS"));
  banner_ = new SimulationBanner(where);
  static_cast<QVBoxLayout*>(centralWidget()->layout())->insertWidget(0, banner_);
  connect(controller_.get(), &ConsoleController::simulatorLogChanged, banner_, &SimulationBanner::ShowSimulatorLog);
}

void MainWindow::StartUp() {
  QString file = options_.sceneDatabase;
  if (file.isEmpty()) {
    const QString folder =
        options_.sceneFolder.isEmpty() ? QCoreApplication::applicationDirPath() + '/' : options_.sceneFolder;
    file = folder + QLatin1String(kSceneDatabaseFile);
  }
  if (!controller_->OpenScenes(file)) dialogs_->Message(QStringLiteral("Can not find database"));
  const auto name = options_.hostName ? options_.hostName() : LocalHostName();
  if (const auto shown = LocalIpWithoutLookup(name)) {
    panel_->ShowLocalIp(QString::fromStdString(*shown));
    return;
  }
  // The name service may take seconds (or time out) to answer: the window
  // shows at once and the field fills in when the answer comes.
  QHostInfo::lookupHost(QString::fromStdString(*name), this, [this](const QHostInfo& answer) {
    for (const QHostAddress& address : answer.addresses()) {
      if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        panel_->ShowLocalIp(address.toString());
        return;
      }
    }
    panel_->ShowLocalIp(QString());
  });
}

// ---------------------------------------------------------------- links

void MainWindow::CreateSerial() {
  try {
    controller_->OpenSerial(panel_->SerialRow());
    // "Create" on a row chooses that row's link.
    panel_->ChooseLink(false);
  } catch (...) {
    ShowOpenFailure(false, 0);
  }
}

void MainWindow::CreateNetwork() {
  UdpSettings row;
  try {
    row = panel_->NetworkRow();
  } catch (const std::invalid_argument& wrong) {
    dialogs_->Warning(QStringLiteral("Error!"), QString::fromUtf8(wrong.what()));
    return;
  }
  try {
    controller_->OpenUdp(row);
    panel_->ChooseLink(true);
  } catch (...) {
    ShowOpenFailure(true, row.localPort);
  }
}

void MainWindow::ShowOpenFailure(bool network, int localPort) {
  // Called from a catch block: the error being handled says why.
  QString details;
  try {
    throw;
  } catch (const LinkError& error) {
    details = OpenFailureText(network ? LinkKind::Network : LinkKind::Serial, error, localPort);
  } catch (const std::exception& error) {
    details = QString::fromUtf8(error.what());
  } catch (...) {
  }
  dialogs_->Warning(QStringLiteral("Error!"), details);
}

void MainWindow::ShowLinks() {
  const bool serial = controller_->SerialOpen();
  const bool serialDown = controller_->SerialDown();
  const bool network = controller_->UdpOpen();
  // A line waiting for its adapter keeps its row: "Close" ends the waiting.
  panel_->ShowLinks(serial || serialDown, network);
  QStringList running;
  if (serial) running << kSerialRunning;
  if (serialDown) running << SerialWaitingText(controller_->SerialPortName());
  if (network) running << kNetworkRunning;
  if (const QString notice = controller_->BusSwitchNotice(); !notice.isEmpty()) running << notice;
  ShowAndTell(linksPanel_, running.isEmpty() ? kHowToBegin : running.join(QStringLiteral("  ")));
}

QString MainWindow::StatusText() const { return linksPanel_->text(); }

QString MainWindow::ExchangeText() const { return exchangePanel_->text(); }

void MainWindow::SetExchangeText(const QString& text) { ShowAndTell(exchangePanel_, text); }

void MainWindow::RunGuarded(const std::function<void()>& action) { veltra::RunGuarded(*dialogs_, action); }

// ---------------------------------------------------------------- the log

void MainWindow::FlushLog() { log_->Flush(); }

QString MainWindow::LogContents() { return log_->Contents(); }

void MainWindow::ClearLog() {
  log_->Clear();
  // What the log no longer shows is not saved either.
  controller_->ClearCapture();
  emit logCleared();
}

QString MainWindow::AskSavePath(const QString& caption, const QString& nameTemplate, const QString& filter) {
  const QString folder = saveFolder_.isEmpty() ? QDir::homePath() : saveFolder_;
  const QString name = nameTemplate.arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
  return dialogs_->SaveFileName(caption, QDir(folder).filePath(name), filter);
}

void MainWindow::SaveLog() {
  const QString path = AskSavePath(QStringLiteral("Save Log"), QStringLiteral("veltra-log-%1.txt"),
                                   QStringLiteral("Text files (*.txt);;All files (*)"));
  if (path.isEmpty()) return;
  const QByteArray contents = log_->Contents().toUtf8();
  if (const auto failure = ReplaceFile(QFile::encodeName(path).toStdString(), contents.toStdString())) {
    dialogs_->Warning(QStringLiteral("The log could not be saved."), QString::fromLocal8Bit(failure->c_str()));
    return;
  }
  saveFolder_ = QFileInfo(path).absolutePath();
  statusBar_->showMessage(QStringLiteral("Log saved to %1").arg(path), kSavedMessageMs);
}

void MainWindow::SaveCapture() {
  const QString path = AskSavePath(QStringLiteral("Save Capture"), QStringLiteral("veltra-capture-%1.pcap"),
                                   QStringLiteral("Captures (*.pcap);;All files (*)"));
  if (path.isEmpty()) return;
  std::vector<std::string> written;
  try {
    written = controller_->WriteCapture(QFile::encodeName(path).toStdString());
  } catch (const CaptureError& error) {
    dialogs_->Warning(QStringLiteral("The capture could not be saved."), QString::fromLocal8Bit(error.what()));
    return;
  }
  saveFolder_ = QFileInfo(path).absolutePath();
  QStringList files;
  for (const std::string& file : written) files << QFile::decodeName(file.c_str());
  statusBar_->showMessage(QStringLiteral("Capture saved to %1").arg(files.isEmpty() ? path : files.join(" and ")),
                          kSavedMessageMs);
  // A pcap file holds one link type: the serial line's frames went beside it.
  if (written.size() > 1)
    dialogs_->Message(QStringLiteral("The serial line's frames were saved to %1").arg(files[1]));
}

void MainWindow::ShowAbout() {
  dialogs_->About(QStringLiteral("About Veltra"),
                  AboutText(controller_->Scenes().FilePath(), controller_->Scenes().IsOpen()));
}

void MainWindow::ShowBusScan() {
  if (!scan_) {
    ScanHooks hooks;
    hooks.addressing = [this](int subnet) { return Addressing{controller_->CurrentAddressing().form, subnet}; };
    hooks.ask = [this](PreparedRequest request, ScanHooks::Done done) {
      controller_->AskForScan(std::move(request), std::move(done));
    };
    hooks.running = [this](bool running) { controller_->SetScanRunning(running); };
    scan_ = new BusScanDialog(std::move(hooks), *dialogs_, this);
    scan_->SetSubnet(panel_->Choice().subnet);
    scan_->SetExportFolder(scanExportFolder_);
    scan_->SetStartHeld(RequestsHeldBecause());
  }
  scan_->show();
  scan_->raise();
  scan_->activateWindow();
}

void MainWindow::InstallMonitorDocks(QMenu& view) {
  BusMonitorHooks hooks;
  hooks.saveFileName = [this](const QString& caption, const QString& suggested, const QString& filter) {
    return dialogs_->SaveFileName(caption, suggested, filter);
  };
  hooks.warning = [this](const QString& text, const QString& details) { dialogs_->Warning(text, details); };
  monitorDocks_ = new BusMonitorDocks(*this, view, controller_->History(), std::move(hooks));
}

QString MainWindow::AskSitePlanPath() {
  return dialogs_->OpenFileName(QStringLiteral("Open Site Plan"), QStringLiteral("Site plans (*.toml);;All files (*)"));
}

void MainWindow::OpenSitePlan() {
  const QString path = AskSitePlanPath();
  if (!path.isEmpty()) SitePlan().LoadPlan(path);
}

void MainWindow::ShowSitePlan() {
  SitePlanDialog& dialog = SitePlan();
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
}

SitePlanDialog& MainWindow::SitePlan() {
  if (!sitePlan_) {
    SitePlanHooks hooks;
    hooks.addressing = [this](int subnet) { return Addressing{controller_->CurrentAddressing().form, subnet}; };
    // Like the scan's: the window's link and exchange, logged, one at a time,
    // answered only by their own replies.
    hooks.ask = [this](PreparedRequest request, SitePlanHooks::Done done) {
      controller_->AskForScan(std::move(request), std::move(done));
    };
    hooks.running = [this](bool running) {
      controller_->SetScanRunning(running, kSitePlanRunning);
      // The plan stays while it is applied, verified or tested.
      openSitePlan_->setEnabled(!running);
    };
    hooks.linkText = [this] { return panel_->LinkText(); };
    hooks.openFileName = [this] { return AskSitePlanPath(); };
    sitePlan_ = new SitePlanDialog(std::move(hooks), *dialogs_, this);
    sitePlan_->SetStartHeld(RequestsHeldBecause());
    connect(sitePlan_, &SitePlanDialog::planLoaded, this,
            [this] { monitorDocks_->SetModuleNames(sitePlan_->ModuleNames()); });
  }
  return *sitePlan_;
}

// ---------------------------------------------------------------- size, settings, closing

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  KeepLogInView();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (splitterPlaced_) return;
  splitterPlaced_ = true;
  // The layout is in place once the window is shown.
  if (QLayout* layout = centralWidget()->layout()) layout->activate();
  KeepLogInView(true);
}

void MainWindow::KeepLogInView(bool exactly) {
  const QList<int> sizes = splitter_->sizes();
  if (sizes.size() != 2 || log_->height() <= 0) return;
  const int wanted = height() / 4 + (logGroup_->height() - log_->height());
  if (sizes[1] >= wanted && !exactly) return;
  const int total = sizes[0] + sizes[1];
  splitter_->setSizes({std::max(0, total - wanted), std::min(total, wanted)});
}

void MainWindow::RestoreSettings() {
  if (!options_.settings) return;
  const QSettings& settings = *options_.settings;
  // Under --simulate the rows start from the simulator's values.
  if (!controller_->Simulator()) panel_->Restore(settings);
  showFrameBytes_->setChecked(settings.value("view/showFrameBytes", false).toBool());
  timestamps_->setChecked(settings.value("view/timestamps", false).toBool());
  saveFolder_ = settings.value("folders/save").toString();
  scanExportFolder_ = settings.value("folders/scanExport").toString();
  askBeforeQuitting_ = settings.value("quit/askWithOpenLink", true).toBool();
  if (settings.contains("window/geometry")) restoreGeometry(settings.value("window/geometry").toByteArray());
  if (settings.contains("window/splitter"))
    splitterPlaced_ = splitter_->restoreState(settings.value("window/splitter").toByteArray());
}

void MainWindow::SaveSettings() {
  if (!options_.settings) return;
  QSettings& settings = *options_.settings;
  // ... and the saved ones stay as they were.
  if (!controller_->Simulator()) panel_->Save(settings);
  settings.setValue("view/showFrameBytes", showFrameBytes_->isChecked());
  settings.setValue("view/timestamps", timestamps_->isChecked());
  settings.setValue("folders/save", saveFolder_);
  settings.setValue("folders/scanExport", scan_ ? scan_->ExportFolder() : scanExportFolder_);
  settings.setValue("quit/askWithOpenLink", askBeforeQuitting_);
  settings.setValue("window/geometry", saveGeometry());
  settings.setValue("window/splitter", splitter_->saveState());
  settings.sync();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  const int open = int(controller_->SerialOpen() || controller_->SerialDown()) + int(controller_->UdpOpen());
  if (open > 0 && askBeforeQuitting_) {
    const Dialogs::QuitAnswer answer = dialogs_->ConfirmQuit(
        open > 1 ? QStringLiteral("Both links are open. Quit and close them?")
                 : QStringLiteral("A link is open. Quit and close it?"));
    askBeforeQuitting_ = answer.askAgain;
    if (!answer.quit) {
      event->ignore();
      return;
    }
  }
  scenePage_->DropUntouchedRow();  // a record added in the grid and never filled in
  SaveSettings();
  RunGuarded([this] { controller_->CloseLinks(); });
  event->accept();
}

}  // namespace veltra
