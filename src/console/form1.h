#pragma once
// The main window: every operator control, the monitor log and the status
// bar, and the two links. The controls are the state: handlers read them at
// the moment of the click and build one request from the command catalogue;
// the exchange controller sends it and hands what came of it to that
// request's own handler, which alone writes the reply into the window.
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "capture/frame_recorder.h"
#include "console/log_stamp.h"
#include "console/port_list.h"
#include "link/event_loop_serial_link.h"
#include "link/exchange.h"
#include "link/failure_details.h"
#include "link/send_path.h"
#include "link/udp_link.h"
#include "protocol/bus_switch_commands.h"
#include "protocol/command_catalogue.h"
#include "protocol/request_writer.h"
#include "sim/simulator_runtime.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeySequence;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableView;
class QTimer;
class QWidget;

namespace veltra {

class BusScanDialog;
class Dialogs;
class ExchangeController;
class SceneStore;
class TComm;
class KeyFilter;
class SpinEdit;

struct TForm1Options {
  // Message boxes; null: real ones.
  Dialogs* dialogs = nullptr;
  // Folder that holds the scene database, ending in a separator; empty: the
  // executable's folder.
  QString sceneFolder;
  // The scene database file itself (any name); when set, sceneFolder is not
  // used. The program entry sets it to the file it chose (see
  // scenes/scene_db_location.h).
  QString sceneDatabase;
  // Where "Read" of the bus switch group sends its request.
  std::string busSwitchBroadcastHost = "192.168.14.255";
  // The computer's host name for "Local IP "; null: ask the system.
  std::function<std::optional<std::string>()> hostName;
  // Set: the window runs against this simulated bus (started by the caller)
  // and is pointed at it (remote IP and port, the pseudo-terminal in the
  // "Com" list, the bus switch "Read" to 127.0.0.1) and marked as simulated.
  // Its log lines also go to the banner's tooltip, never to the monitor log.
  std::shared_ptr<SimulatorRuntime> simulator;
  // "Local Port " in simulation mode when it is free (otherwise, or when 0,
  // one the system picks).
  int simulationLocalPort = 2002;
  // Set: requests take these links instead of the window's own (the "Create"
  // buttons still open and close the window's own). Not owned.
  Link* networkRequests = nullptr;
  Link* serialRequests = nullptr;
};

class TForm1 : public QMainWindow, public RequestLog {
  Q_OBJECT
 public:
  explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // Handlers named after their controls and events. They may throw; clicks
  // reach them through RunGuarded, which shows what escapes.
  void FormCreate();
  void FormClose();
  void Button10Click();  // serial "Create"/"Close"
  void Button32Click();  // UDP "Create"/"Close"
  void btn1Click();      // bus switch "Set"
  void btn2Click();      // bus switch "Read"
  void Delete1Click();
  void DeleteAll1Click();
  void SaveLogClick();      // File > "Save Log…"
  void ClearLogClick();     // View > "Clear Log"
  void SaveCaptureClick();  // File > "Save Capture…"
  void AboutVeltraClick();  // Help > "About Veltra"
  void ScanBusClick();      // Tools > "Scan Bus…": shows the "Bus Scan" dialog
  // Serial chunk as the reader delivered it, handed to the serial link as
  // the reader hands it: every frame it completes goes to the exchange, which
  // gives it to the request it answers or logs it as answering none.
  void Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length);

  // "TCP/IP " checked: requests take the network link, otherwise the serial link.
  bool NetworkSelected() const;
  // RequestLog: the monitor log as the send path writes it.
  bool LogMasked() const override;
  void AppendLog(const std::string& utf8Line) override;

  // A request (of a button or of the bus scan) waits for its reply or its
  // time-out, or a scan runs: the request buttons are unavailable, and this
  // says why (as their tooltips do). Empty when the window can send.
  QString RequestsHeldBecause() const;

  // Runs one operator action; an exception that escapes it is shown by the
  // default error display and the window goes on.
  void RunGuarded(const std::function<void()>& action);

  // Log lines are put into Memo1 when the window gets back to its event loop
  // (all waiting lines in one edit), so a request is on its way without
  // waiting for the text layout; FlushLog puts them in at once.
  void FlushLog();

  void SetBusSwitchBroadcastHost(const std::string& host) { options_.busSwitchBroadcastHost = host; }
  const std::string& BusSwitchBroadcastHost() const { return options_.busSwitchBroadcastHost; }
  QString StatusText() const;
  // The status bar's second panel: what became of the last request.
  QString ExchangeText() const;
  Dialogs& dialogs() { return *dialogs_; }
  // Every frame the links carried since the start or the last ClearCapture,
  // written as pcap files (see CaptureRecorder::Save); returns the files
  // written. Throws CaptureError.
  std::vector<std::string> WriteCapture(const std::string& path) const;
  void ClearCapture();

  // The simulated bus the window runs against; null without simulation.
  SimulatorRuntime* Simulator() { return simulator_.get(); }

  // The two links; the radio buttons pick the one a request takes. The serial
  // link's events come through the event loop.
  UdpLink udpLink;
  const std::unique_ptr<SerialLink> serialLink = MakeEventLoopSerialLink();
  TIdUDPClient& IdUDPClient1 = udpLink.Client();  // the UDP link's socket component
  TComm* const Comm1 = &serialLink->Port();       // the serial link's component
  SceneStore* ADOTable1 = nullptr;                // the table "Scenes Records"

  // Above everything else, only when the bus is simulated: says so and where.
  QLabel* SimulationBanner = nullptr;

  // ---- Menu bar (form1_menus.cpp)
  QMenu* FileMenu = nullptr;
  QAction* SaveLog = nullptr;  // "Save Log…", Ctrl+S
  QAction* SaveCapture = nullptr;  // "Save Capture…": the frames since the start or "Clear Log"
  QAction* Quit = nullptr;     // "Quit", Ctrl+Q
  QMenu* ViewMenu = nullptr;
  QAction* ShowFrameBytes = nullptr;  // checkable: clears the hidden log mask chk1
  QAction* Timestamps = nullptr;      // checkable: local time before each new line
  QAction* ClearLog = nullptr;
  QMenu* HelpMenu = nullptr;
  QAction* AboutVeltra = nullptr;
  QMenu* ToolsMenu = nullptr;   // "Tools"
  QAction* ScanBus = nullptr;   // "Scan Bus…"
  BusScanDialog* BusScanDialog1 = nullptr;  // made at its first opening

  // A new item in the File menu's group of save commands: below those already
  // there, above "Quit". Its handler runs guarded like a button's.
  QAction* AddFileSaveAction(const QString& text, const char* objectName, const QKeySequence& shortcut,
                             std::function<void()> handler);
  // The monitor log as "Save Log…" writes it: one line per entry, each ended
  // by a line feed.
  QString LogContents();

  // ---- Communication Settings
  PortList* ComboBox5 = nullptr;   // "Com", refreshed when it drops down
  QComboBox* ComboBox1 = nullptr;  // "Buad Rate"
  QComboBox* ComboBox2 = nullptr;  // "Bit Size  "
  QComboBox* ComboBox3 = nullptr;  // "Parity"
  QComboBox* ComboBox4 = nullptr;  // "Stop Bits"
  QPushButton* Button10 = nullptr;
  QRadioButton* RadioButton2 = nullptr;  // "Com "
  QCheckBox* CheckBox13 = nullptr;       // hidden "Monitor"
  QLineEdit* Edit3 = nullptr;            // "Local IP "
  QLineEdit* Edit6 = nullptr;            // "Local Port "
  QLineEdit* Edit4 = nullptr;            // "Remote IP "
  QLineEdit* Edit5 = nullptr;            // "Remote Port "
  SpinEdit* SpinEdit7 = nullptr;         // "Subnet ID"
  QPushButton* Button32 = nullptr;
  QRadioButton* RadioButton1 = nullptr;  // "TCP/IP "
  QCheckBox* chk1 = nullptr;             // hidden log mask

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // Module Settings
  QWidget* TabSheet2 = nullptr;  // Scene Control
  QWidget* TabSheet3 = nullptr;  // Light Control
  QWidget* TabSheet4 = nullptr;  // Curtain Control
  QWidget* TabSheet5 = nullptr;  // IR Control
  QWidget* TabSheet6 = nullptr;  // Input Module Control

  // ---- Module Settings: Subnet Module Settings
  SpinEdit* SpinEdit1 = nullptr;
  QPushButton *Button1 = nullptr, *Button22 = nullptr, *Button23 = nullptr, *Button12 = nullptr,
              *Button29 = nullptr, *Button31 = nullptr;
  QLineEdit *Edit1 = nullptr, *Edit2 = nullptr;

  // ---- Module Settings: Bus Switch Settings
  SpinEdit* SpinEdit12 = nullptr;
  QLineEdit *Edit9 = nullptr, *edt5 = nullptr, *Edit15 = nullptr, *Edit17 = nullptr;
  QLineEdit* Edit11 = nullptr;
  QLineEdit *Edit21 = nullptr, *Edit22 = nullptr, *Edit23 = nullptr, *Edit24 = nullptr;
  QLineEdit *Edit25 = nullptr, *Edit26 = nullptr, *Edit27 = nullptr, *Edit28 = nullptr;
  QLineEdit *Edit29 = nullptr, *Edit30 = nullptr, *Edit31 = nullptr, *Edit32 = nullptr;
  QLineEdit* edt3 = nullptr;
  QLineEdit *Edit7 = nullptr, *Edit8 = nullptr, *Edit33 = nullptr, *Edit34 = nullptr, *Edit35 = nullptr,
            *Edit36 = nullptr;
  QPushButton *btn1 = nullptr, *btn2 = nullptr, *Button9 = nullptr, *Button33 = nullptr, *Button34 = nullptr;
  QLineEdit *Edit13 = nullptr, *Edit14 = nullptr;

  // ---- Scene Control
  SpinEdit *SpinEdit5 = nullptr, *SpinEdit6 = nullptr, *SpinEdit4 = nullptr;
  std::array<QComboBox*, 8> channelLists{};  // ComboBox6 .. ComboBox13
  QPushButton *Button7 = nullptr, *Button8 = nullptr, *Button13 = nullptr;
  QTableView* DBGrid1 = nullptr;
  QObject* DataSource1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction *Delete1 = nullptr, *DeleteAll1 = nullptr;
  QAction* GridDeleteRow = nullptr;  // Ctrl+Delete in the grid, after a question
  QAction* GridAppendRow = nullptr;  // Insert in the grid (or Down on its last row): a new record

  // ---- Light Control
  SpinEdit *SpinEdit2 = nullptr, *SpinEdit3 = nullptr, *SpinEdit11 = nullptr;
  QPushButton *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr,
              *Button6 = nullptr, *Button30 = nullptr, *Button11 = nullptr;
  // "Light1" .. "Light8" in screen order: CheckBox1..4, CheckBox8, CheckBox5..7.
  std::array<QCheckBox*, 8> lightBoxes{};

  // ---- Curtain Control
  SpinEdit *SpinEdit9 = nullptr, *SpinEdit10 = nullptr, *SpinEdit8 = nullptr;
  QPushButton *Button14 = nullptr, *Button15 = nullptr, *Button16 = nullptr, *Button18 = nullptr,
              *Button20 = nullptr, *Button17 = nullptr, *Button21 = nullptr, *Button19 = nullptr;
  std::array<QCheckBox*, 4> curtainBoxes{};  // CheckBox9 .. CheckBox12

  // ---- IR Control
  SpinEdit *SpinEdit14 = nullptr, *SpinEdit13 = nullptr;
  QPushButton *Button24 = nullptr, *Button26 = nullptr, *Button25 = nullptr, *Button27 = nullptr,
              *Button28 = nullptr;

  // ---- Input Module Control
  SpinEdit *SpinEdit15 = nullptr, *SpinEdit17 = nullptr, *SpinEdit18 = nullptr, *SpinEdit16 = nullptr,
           *SpinEdit20 = nullptr;
  QComboBox *ComboBox15 = nullptr, *ComboBox16 = nullptr;
  QPushButton *Button35 = nullptr, *Button36 = nullptr;

  // ---- Communication Data
  QSplitter* Splitter1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 signals:
  // The monitor log was emptied by "Clear Log"; lines from before are gone.
  void logCleared();

 private:
  void BuildMenus();  // form1_menus.cpp
  void BuildFileMenu();
  void BuildViewMenu();
  void BuildHelpMenu();
  void BuildToolsMenu();  // form1_scan.cpp
  void BuildCommunicationSettings(QWidget* panel);
  void BuildModuleSettings(QWidget* page);
  void BuildSceneControl(QWidget* page);
  void BuildSceneMenu();  // the grid's context menu (form1_scenes.cpp)
  void BuildLightControl(QWidget* page);
  void BuildCurtainControl(QWidget* page);
  void BuildIrControl(QWidget* page);
  void BuildInputModuleControl(QWidget* page);
  void WireCommands();
  void Wire(QPushButton* button, std::function<void()> action);

  // A button that sends a request: unavailable while a request waits.
  void WireRequest(QPushButton* button, std::function<void()> action);

  // Frame form of the commands that have both: routed for "TCP/IP " or
  // "Monitor", direct otherwise.
  Addressing CurrentAddressing() const;
  // Sends the request on the link selected now (form1_exchange.cpp). `apply`
  // gets what came of it, whatever that was, from the event loop or at once:
  // it writes an answer into the window and takes back the waiting marks.
  // Nothing is sent (and false returned) while the window's requests are held.
  using ResultHandler = std::function<void(const ExchangeResult&)>;
  bool Ask(PreparedRequest request, ResultHandler apply);
  // What came of a request, in the exchange panel and the log.
  void ReportResult(const ExchangeResult& result, bool network, int timeoutMs,
                    std::chrono::steady_clock::time_point askedAt);
  // The "Read ：" line of an answer, with its round trip when "Timestamps" is on.
  void LogAnswer(const ExchangeResult& result);
  // The request buttons follow the exchanges: unavailable, with the reason
  // in their tooltips, while a request waits or a scan runs.
  void ShowRequestsHeld();
  // A result field waits for its reply: marked without losing its value.
  void MarkWaiting(QWidget* field, bool waiting);
  // The form serial frames are cut and heard in: routed with "Monitor".
  void ApplyListeningForm();
  void SetStatusText(const QString& text);
  void SetExchangeText(const QString& text);
  // One line for the monitor log, stamped when "Timestamps" is on.
  void AppendLine(QString line);
  // "Close" of the serial row, also after the line hung up.
  void CloseSerialLink();
  // The box of a failed "Create": "Error!" with the cause of the exception
  // being handled (call it from a catch block).
  void ShowOpenFailure(LinkKind kind);
  void HandleSerialHangup();
  void ShowBusSwitchRecord(const BusSwitchRecord& record);
  BusSwitchTexts BusSwitchFieldTexts() const;
  // Request handlers (form1_replies.cpp): the answer into the field it fills.
  static void ShowText(QLineEdit* field, ReplyEffect effect, const ExchangeResult& result);
  void ShowStatusBoxes(QCheckBox* const* boxes, std::size_t count, const ExchangeResult& result);
  // A confirmed "Set" stores the scene that was sent; `lists` are the eight
  // channel items when it was sent (those past "Outputs :" are stored too).
  void StoreSentScene(const ExchangeResult& result, const std::array<int, 8>& lists);
  // A fresh socket of the UDP client, sending to host at "Remote Port "
  // from "Local Port ".
  void PointUdpClient(const std::string& host);
  void SetUdpRowEnabled(bool enabled);
  void SetSerialRowEnabled(bool enabled);
  void BindSceneGrid();
  // Appends an empty record for the operator to fill in the grid.
  void AppendGridRow();
  // Removes the record AppendGridRow added while nothing has been written
  // into it yet.
  void DropUntouchedGridRow();
  // The link a request takes now.
  Link& RequestLink();
  void AttachSimulation();
  // Puts the capture on every link that carries the window's frames.
  void AttachCapture();
  void DetachCapture();
  // The save dialog, suggesting nameTemplate (%1: date and time) in the
  // folder of the last save; empty when cancelled.
  QString AskSavePath(const QString& caption, const QString& nameTemplate, const QString& filter);
  void TakeSimulatorLines();

  TForm1Options options_;
  CaptureRecorder capture_;
  std::unique_ptr<Dialogs> ownDialogs_;
  Dialogs* dialogs_ = nullptr;
  QLabel* statusPanel_ = nullptr;
  QLabel* exchangePanel_ = nullptr;
  // Takes requests while "TCP/IP " is selected and the UDP link is not open.
  ClosedLink closedNetwork_;
  // Every button that sends a request, and the tooltips they had before the
  // requests were held.
  std::vector<QPushButton*> requestButtons_;
  std::vector<std::pair<QPushButton*, QString>> heldToolTips_;
  bool requestsHeld_ = false;
  // The keyboard focus: on a request button when the requests were held,
  // and where it went then, so that it comes back after.
  QPointer<QWidget> focusBeforeHold_, focusDuringHold_;
  bool followingCurrentRow_ = false;
  QPersistentModelIndex newGridRow_;  // appended by hand and still untouched
  QStringList pendingLog_;
  LogStamp logStamp_;  // "Timestamps"
  QAction* fileSaveEnd_ = nullptr;  // the separator between the save items and "Quit"
  QString saveFolder_;              // where the log or a capture was last saved
  QStringList simulatorLines_;  // the latest, for the banner's tooltip
  std::mutex simulatorIncomingMutex_;
  QStringList simulatorIncoming_;  // from the simulator's threads, not yet taken
  // The requests and replies of every link above; gone before the links.
  std::unique_ptr<ExchangeController> exchanges_;
  // Declared after what its threads log into, so the window stops listening
  // to it first also when construction fails half-way.
  std::shared_ptr<SimulatorRuntime> simulator_;
};

}  // namespace veltra
