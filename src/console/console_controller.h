#pragma once
// The console without its widgets: the two links and the exchanges over
// them, the capture of every frame they carry, the frame history they are
// recorded into (for the Bus Monitor and Line Health), the scene table's storage
// and model, and under --simulate the simulated bus. Pages ask it for
// requests of the command catalogue, each with the handler that takes what
// came of it; it sends them on the link chosen now, one at a time (the bus
// scan's too), writes the monitor log's lines and says what became of the
// last request.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/frame_recorder.h"
#include "history/monitor_feed.h"
#include "console/exchange_controller.h"
#include "link/exchange.h"
#include "link/serial_link.h"
#include "link/udp_link.h"
#include "protocol/command_catalogue.h"
#include "scenes/scene_repository.h"
#include "sim/simulator_runtime.h"

namespace veltra {

class Dialogs;
class SceneTableModel;

struct ConsoleOptions {
  // Where the bus switch "Read" sends its request.
  std::string busSwitchBroadcastHost = "192.168.14.255";
  // Set: the console runs against this simulated bus (started by the
  // caller); its log lines are kept for the banner, never put in the
  // monitor log.
  std::shared_ptr<SimulatorRuntime> simulator;
  // "Local Port " in simulation mode when it is free (otherwise, or when 0,
  // one the system picks).
  int simulationLocalPort = 2002;
  // Set: requests take these links instead of the console's own (the
  // "Create" buttons still open and close its own). Not owned.
  Link* networkRequests = nullptr;
  Link* serialRequests = nullptr;
  // The frame history every frame of those links is recorded into; empty:
  // the user's own ($XDG_STATE_HOME/veltra/history.sqlite).
  std::string historyPath;
  // Where the stable names of serial adapters are (a symlink there that
  // leads to the device opened is what the line waits for after a pull).
  std::string stableSerialFolder = "/dev/serial/by-id";
};

// Which link a request takes and the form of its frame, as the connection
// panel shows them now: "TCP/IP " or "Com ", "Monitor", "Subnet ID".
struct LinkChoice {
  bool network = false;
  bool monitor = false;
  int subnet = 1;
};

// The network row: where the bus switch is, and the local port (0: any).
struct UdpSettings {
  std::string remoteHost;
  int remotePort = 2001;
  int localPort = 2002;
};

class ConsoleController : public QObject, public RequestLog {
  Q_OBJECT
 public:
  using ResultHandler = std::function<void(const ExchangeResult&)>;

  ConsoleController(ConsoleOptions options, Dialogs& dialogs, QObject* parent = nullptr);
  ~ConsoleController() override;

  // What the connection panel shows, asked at every request.
  std::function<LinkChoice()> linkChoice;
  // The network row as typed now; throws std::invalid_argument with the
  // reason when a field holds no valid value.
  std::function<UdpSettings()> networkRow;
  // Frames that answer no request (late replies, other hosts, what modules
  // send by themselves), after their log line.
  std::function<void(const UnmatchedFrame&)> onUnmatched;

  // ---- links
  UdpLink& Network() { return udp_; }
  SerialLink& Serial() { return *serial_; }
  // Opens the serial line with these settings; throws LinkError.
  void OpenSerial(const SerialSettings& settings);
  void CloseSerial();
  // Opens the network link from a fresh socket; throws LinkError.
  void OpenUdp(const UdpSettings& settings);
  void CloseUdp();
  bool SerialOpen() const { return serial_->IsOpen(); }
  // The adapter went: the line is closed and waits for it to come back
  // (the row stays "Close", which ends the waiting).
  bool SerialDown() const { return serial_->Down(); }
  // What the serial line was opened by, as the operator chose it.
  QString SerialPortName() const { return QString::fromStdString(serial_->OpenedBy()); }
  // Opened with "Create" (a bus switch "Read" alone leaves its socket, but
  // does not open the link).
  bool UdpOpen() const { return udpOpen_; }
  // Both links closed; a request still waiting on either ends.
  void CloseLinks();
  // "Bus switch at <ip>:<port> is not answering (N requests without
  // reply)" after kSilentRequests requests in a row over the network link
  // went without reply (or were refused), until a reply comes; empty
  // otherwise.
  static constexpr int kSilentRequests = 3;
  QString BusSwitchNotice() const;
  // "Check bus switch every 10 s": while on and the network link is open, a
  // "Read Type" of the bus switch goes every interval when no request
  // waits, and counts for the notice as any request does. Off: nothing is
  // sent unasked.
  void SetBusSwitchCheck(bool on);
  bool BusSwitchCheck() const { return probe_.isActive(); }
  void SetBusSwitchCheckInterval(std::chrono::milliseconds interval);
  // "Monitor": serial frames are cut and heard in the routed form.
  void SetMonitorForm(bool monitor);
  // A chunk of the serial line as its reader delivers it.
  void SerialChunk(const std::uint8_t* bytes, std::uint16_t length);

  // ---- requests
  // Sends the request on the link chosen now. `apply` gets what came of it,
  // whatever that was, from the event loop or at once: it writes an answer
  // into its page and takes back the waiting marks. Nothing is sent (and
  // false returned, `apply` given an empty result) while requests are held.
  // Throws LinkError when the link fails on sending.
  bool Ask(RequestId id, RequestValues values, ResultHandler apply = {});
  // The bus switch "Read": a broadcast from a fresh socket on the network
  // row's ports, pointed back at "Remote IP " when over. Throws LinkError
  // when the socket cannot be made, std::invalid_argument for a bad row.
  bool AskBusSwitchRead(ResultHandler apply);
  // One request of the bus scan; throws when it cannot go.
  void AskForScan(PreparedRequest request, ResultHandler done);
  // A scan (or another of the Tools' runs, named by `reason`) starts or
  // ends; at its end a request of it still waiting is given up.
  void SetScanRunning(bool running, const char* reason = kScanRunning);
  bool ScanRunning() const;
  // The form and subnet requests take now.
  Addressing CurrentAddressing() const;
  // Why requests cannot be sent now ("Waiting for the reply to the last
  // request", "A bus scan is running"); empty when they can.
  QString BusyReason() const;
  const std::string& BusSwitchBroadcastHost() const { return options_.busSwitchBroadcastHost; }
  void SetBusSwitchBroadcastHost(const std::string& host) { options_.busSwitchBroadcastHost = host; }

  // ---- the monitor log (RequestLog: as the send path writes it)
  bool LogMasked() const override { return logMasked_; }
  void AppendLog(const std::string& utf8Line) override;
  void SetLogMasked(bool masked) { logMasked_ = masked; }
  // "Timestamps": the "Read" line of an answer ends with its round trip.
  void SetRoundTripsShown(bool shown) { roundTrips_ = shown; }

  // ---- capture: every frame since the start or the last ClearCapture,
  // written as pcap files (see CaptureRecorder::Save); returns the files
  // written. Throws CaptureError.
  std::vector<std::string> WriteCapture(const std::string& path) const;
  void ClearCapture();

  // ---- the frame history: every frame of every link above, recorded from
  // the start to the end, with the line's health of this session
  history::MonitorFeed& History() { return *history_; }

  // ---- scenes
  SceneTableModel& Scenes() { return *scenes_; }
  // Opens the table of this file; false (table closed) when it cannot.
  bool OpenScenes(const QString& path);

  // ---- simulation
  SimulatorRuntime* Simulator() { return simulator_.get(); }
  // The network row and serial line that reach the simulated bus.
  std::optional<UdpSettings> SimulatedNetwork() const { return simulatedNetwork_; }
  QString SimulatedLine() const;

 signals:
  // A monitor log line, as it is made.
  void lineLogged(const QString& line);
  // What became of the last request.
  void exchangeTextChanged(const QString& text);
  // A link was opened or closed (also when the serial line hung up).
  void linksChanged();
  void busyChanged(const QString& reason);
  // The simulator's latest log lines.
  void simulatorLogChanged(const QStringList& latest);
  // BusSwitchNotice() changed.
  void busSwitchNoticeChanged(const QString& notice);

 private:
  bool Start(Link& link, PreparedRequest request, ResultHandler apply);
  void ReportResult(const ExchangeResult& result, bool network, int timeoutMs,
                    std::chrono::steady_clock::time_point askedAt);
  // Counts a network request's result toward the bus switch notice.
  void TrackBusSwitch(const Link& link, const ExchangeResult& result);
  void ResetBusSwitchSilence();
  void ProbeBusSwitch();
  // The "Read ：" line of an answer, with its round trip when shown.
  void LogAnswer(const ExchangeResult& result);
  void AppendLine(const QString& line);
  LinkChoice Choice() const { return linkChoice ? linkChoice() : LinkChoice{}; }
  // The link a request takes now.
  Link& RequestLink();
  int TimeoutMs(bool network) const;
  // A fresh socket of the UDP link to host, on the row's ports.
  void PointUdp(const std::string& host, const UdpSettings& row);
  // wentDown: the line went down to wait for its device (recovery), as it
  // was when the hang-up was raised.
  void HandleSerialHangup(bool wentDown, const QString& port);
  void HandleSerialReconnected();
  void AttachSimulation();
  void TakeSimulatorLines();
  // Posts from other threads (the simulator's, the line's) are made under
  // crossThreadMutex_, and every event is received under it too: Qt's queue
  // hands events over under a lock of its own, which a thread checker cannot
  // see into, so this shows it the posted call was complete before it runs.
  bool event(QEvent* e) override;
  template <typename Call>
  void PostFromOtherThread(Call call);
  void RunGuarded(const std::function<void()>& action);

  ConsoleOptions options_;
  Dialogs& dialogs_;
  CaptureRecorder capture_;
  // Observes the links below; taken off them before they go.
  std::unique_ptr<history::MonitorFeed> history_;
  SceneRepository sceneRepository_;
  std::unique_ptr<SceneTableModel> scenes_;
  UdpLink udp_;
  const std::unique_ptr<SerialLink> serial_;
  // Takes requests while "TCP/IP " is selected and the UDP link is not open.
  ClosedLink closedNetwork_;
  bool udpOpen_ = false;
  // Requests in a row without reply from silentPeer_ ("ip:port").
  int silentRequests_ = 0;
  QString silentPeer_;
  QTimer probe_;
  bool logMasked_ = true;
  bool roundTrips_ = false;
  std::optional<UdpSettings> simulatedNetwork_;
  QStringList simulatorLines_;  // the latest
  std::mutex crossThreadMutex_;  // also guards simulatorIncoming_
  QStringList simulatorIncoming_;  // from the simulator's threads, not yet taken
  // The requests and replies of every link above; gone before the links.
  std::unique_ptr<ExchangeController> exchanges_;
  // Declared last: letting go of it first stops the simulator's threads from
  // calling into the console, also when construction fails half-way.
  std::shared_ptr<SimulatorRuntime> simulator_;
};

}  // namespace veltra
