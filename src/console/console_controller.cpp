#include "console/console_controller.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QMetaObject>
#include <cerrno>
#include <exception>
#include <stdexcept>

#include "console/dialogs.h"
#include "console/exchange_texts.h"
#include "history/history_location.h"
#include "link/event_loop_serial_link.h"
#include "scenes/scene_table_model.h"

namespace veltra {
namespace {

constexpr int kSimulatorLogLines = 20;

// The local UDP port for the console's socket: the preferred one when
// nothing holds it, otherwise one the system picks (bound to 0, read back,
// released).
int FreeLocalPort(int preferred) {
  for (int port : {preferred, 0}) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);  // as the socket binds
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t size = sizeof local;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0;
    ::close(fd);
    if (bound) return ntohs(local.sin_port);
  }
  return preferred;  // no socket at all: "Create" will say "Error!"
}

}  // namespace

template <typename Call>
void ConsoleController::PostFromOtherThread(Call call) {
  std::lock_guard lock(crossThreadMutex_);
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

bool ConsoleController::event(QEvent* e) {
  { std::lock_guard lock(crossThreadMutex_); }
  return QObject::event(e);
}

ConsoleController::ConsoleController(ConsoleOptions options, Dialogs& dialogs, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      dialogs_(dialogs),
      scenes_(std::make_unique<SceneTableModel>(sceneRepository_)),
      serial_(MakeEventLoopSerialLink()) {
  scenes_->setObjectName("ADOTable1");
  udp_.Client().ReceiveTimeout = 500;
  // A closed port on the bus switch's host (ICMP port unreachable) fails
  // the request at its next receive, rather than letting it run out of time.
  udp_.SetReportRefusals(true);
  probe_.setInterval(10000);
  connect(&probe_, &QTimer::timeout, this, [this] { RunGuarded([this] { ProbeBusSwitch(); }); });
  // Every link requests take or whose frames are heard: frames that answer
  // no request are logged as such, also while nothing waits.
  exchanges_ = std::make_unique<ExchangeController>(*this);
  for (Link* link : {static_cast<Link*>(&udp_), static_cast<Link*>(serial_.get()),
                     static_cast<Link*>(&closedNetwork_), options_.networkRequests, options_.serialRequests})
    if (link) exchanges_->AddLink(*link);
  exchanges_->onUnmatched = [this](const UnmatchedFrame& frame) {
    // A late reply of the bus switch says it is there after all.
    if (frame.unit.from.port != 0 &&
        QString::fromStdString(frame.unit.from.address + ':' + std::to_string(frame.unit.from.port)) == silentPeer_)
      ResetBusSwitchSilence();
    if (!frame.logLine.empty()) AppendLine(QString::fromStdString(frame.logLine));
    if (onUnmatched) onUnmatched(frame);
  };
  exchanges_->onBusyChanged = [this] { emit busyChanged(BusyReason()); };
  SetMonitorForm(false);
  history_ = std::make_unique<history::MonitorFeed>(
      options_.historyPath.empty() ? history::DefaultHistoryPath() : options_.historyPath, "veltra");
  for (Link* link : {static_cast<Link*>(&udp_), static_cast<Link*>(serial_.get()), options_.networkRequests,
                     options_.serialRequests})
    if (link) {
      link->SetTap(&capture_);
      link->SetObserver(history_.get());
    }
  // The line's threads have failed (adapter unplugged, device gone): the
  // line goes down to wait for its adapter and opens again by itself, with
  // the same settings, when the device is back. Both told from the event
  // loop: the notification is still being delivered.
  SerialRecovery recovery;
  recovery.enabled = true;
  recovery.stableFolder = options_.stableSerialFolder;
  serial_->SetRecovery(recovery);
  serial_->onHangup = [this] {
    const bool down = serial_->Down();
    const QString port = SerialPortName();
    PostFromOtherThread([this, down, port] { RunGuarded([&] { HandleSerialHangup(down, port); }); });
  };
  serial_->onReconnected = [this] {
    PostFromOtherThread([this] { RunGuarded([this] { HandleSerialReconnected(); }); });
  };
  if (options_.simulator) AttachSimulation();
}

ConsoleController::~ConsoleController() {
  for (Link* link : {static_cast<Link*>(&udp_), static_cast<Link*>(serial_.get()), options_.networkRequests,
                     options_.serialRequests})
    if (link) {
      link->SetTap(nullptr);
      link->SetObserver(nullptr);
    }
  if (simulator_) {
    // The line first, then the bus behind it; no simulator thread posts to
    // the console after this.
    serial_->Close();
    simulator_.reset();
  }
}

void ConsoleController::RunGuarded(const std::function<void()>& action) { veltra::RunGuarded(dialogs_, action); }

// ---------------------------------------------------------------- links

void ConsoleController::OpenSerial(const SerialSettings& settings) {
  serial_->Configure(settings);
  // Replies are framed by their Length inside the link: the reader hands
  // bytes over as they come.
  SetMonitorForm(Choice().monitor);
  try {
    serial_->Open();
  } catch (...) {
    exchanges_->LinkChanged(*serial_);
    throw;
  }
  exchanges_->LinkChanged(*serial_);
  emit linksChanged();
}

void ConsoleController::CloseSerial() {
  serial_->Close();
  // A request still waiting there ends now.
  exchanges_->LinkChanged(*serial_);
  emit linksChanged();
}

void ConsoleController::PointUdp(const std::string& host, const UdpSettings& row) {
  udp_.Close();
  try {
    udp_.Open(host, row.remotePort, row.localPort);
  } catch (...) {
    exchanges_->LinkChanged(udp_);
    throw;
  }
  exchanges_->LinkChanged(udp_);
}

void ConsoleController::OpenUdp(const UdpSettings& settings) {
  try {
    // A socket left behind by the bus switch "Read" would make the bind
    // fail; the link starts from a fresh one.
    PointUdp(settings.remoteHost, settings);
  } catch (...) {
    udp_.Close();
    exchanges_->LinkChanged(udp_);
    throw;
  }
  udpOpen_ = true;
  ResetBusSwitchSilence();
  emit linksChanged();
}

void ConsoleController::CloseUdp() {
  udp_.Close();
  udpOpen_ = false;
  exchanges_->LinkChanged(udp_);
  ResetBusSwitchSilence();
  emit linksChanged();
}

void ConsoleController::CloseLinks() {
  serial_->Close();
  udp_.Close();
  udpOpen_ = false;
  ResetBusSwitchSilence();
  // A request still waiting on either ends here.
  exchanges_->LinkChanged(*serial_);
  exchanges_->LinkChanged(udp_);
  emit linksChanged();
}

void ConsoleController::SetMonitorForm(bool monitor) {
  const FrameForm form = monitor ? FrameForm::Routed : FrameForm::Direct;
  serial_->SetFraming(form);
  exchanges_->ExchangeOn(*serial_).listenForm = form;
  if (options_.serialRequests) exchanges_->ExchangeOn(*options_.serialRequests).listenForm = form;
  // The bus switch speaks the routed form.
  exchanges_->ExchangeOn(udp_).listenForm = FrameForm::Routed;
  if (options_.networkRequests) exchanges_->ExchangeOn(*options_.networkRequests).listenForm = FrameForm::Routed;
}

void ConsoleController::SerialChunk(const std::uint8_t* bytes, std::uint16_t length) {
  TComm& port = serial_->Port();
  port.OnReceiveData(port, bytes, length);
}

void ConsoleController::HandleSerialHangup(bool wentDown, const QString& port) {
  if (wentDown) {
    // Closed by the operator since: nothing waits any more. Already back:
    // the outage is still told, its end follows.
    if (!serial_->Down() && !serial_->IsOpen()) return;
    // A request still waiting on the line ends now; nothing is kept for later.
    exchanges_->LinkChanged(*serial_);
    emit linksChanged();
    const QString text = SerialWaitingText(port);
    AppendLine(text);
    emit exchangeTextChanged(text);
    return;
  }
  // Closed, or closed and opened again, since the notification was posted.
  if (!serial_->HungUp() || !serial_->IsOpen()) return;
  CloseSerial();
  emit exchangeTextChanged(SerialDisconnectedText(port));
}

void ConsoleController::HandleSerialReconnected() {
  if (!serial_->IsOpen()) return;  // pulled again, or closed, since
  exchanges_->LinkChanged(*serial_);
  emit linksChanged();
  // By the path it opened again by: the stable name behind a device path
  // the operator picked.
  const QString text = SerialReconnectedText(QString::fromStdString(serial_->Port().CommName()));
  AppendLine(text);
  emit exchangeTextChanged(text);
}

Link& ConsoleController::RequestLink() {
  if (Choice().network) {
    if (options_.networkRequests) return *options_.networkRequests;
    // The socket would be made for the request; a link the operator has not
    // opened sends nothing.
    return udp_.IsOpen() ? static_cast<Link&>(udp_) : closedNetwork_;
  }
  return options_.serialRequests ? *options_.serialRequests : *serial_;
}

int ConsoleController::TimeoutMs(bool network) const {
  return network ? udp_.Client().ReceiveTimeout : serial_->ReceiveTimeout;
}

// ---------------------------------------------------------------- requests

Addressing ConsoleController::CurrentAddressing() const {
  const LinkChoice choice = Choice();
  return ChooseAddressing(choice.network, choice.monitor, choice.subnet);
}

QString ConsoleController::BusyReason() const { return exchanges_->BusyReason(); }

bool ConsoleController::Ask(RequestId id, RequestValues values, ResultHandler apply) {
  return Start(RequestLink(), PrepareRequest(Request(id), std::move(values), CurrentAddressing()), std::move(apply));
}

bool ConsoleController::AskBusSwitchRead(ResultHandler apply) {
  if (!BusyReason().isEmpty()) {
    if (apply) apply(ExchangeResult{});
    return false;
  }
  const UdpSettings row = networkRow ? networkRow() : UdpSettings{};
  // A bind failure ends the action here, with nothing sent.
  try {
    PointUdp(options_.busSwitchBroadcastHost, row);
  } catch (const LinkError& error) {
    if (error.code() != EADDRINUSE) throw;
    throw std::runtime_error(OpenFailureText(LinkKind::Network, error, row.localPort).toStdString());
  }
  // The request goes to a broadcast address: allowed for this one socket,
  // which is discarded once the request is over.
  udp_.SetBroadcast(true);
  // The socket goes back to "Remote IP " whatever became of the request, so
  // an open link never keeps sending to the broadcast address; a link the
  // operator closed meanwhile stays closed.
  return Ask(RequestId::BusSwitchRead, {}, [this, row, apply](const ExchangeResult& result) {
    if (apply) apply(result);
    if (udp_.IsOpen()) PointUdp(row.remoteHost, row);
  });
}

void ConsoleController::AskForScan(PreparedRequest request, ResultHandler done) {
  // The scan's requests take the link and exchange of the window's own:
  // logged like them, one at a time with them, answered only by their own
  // replies, which go to the scan and nowhere else.
  auto finished = [this, done = std::move(done)](const ExchangeResult& result) {
    if (result.outcome == ExchangeOutcome::Answered) LogAnswer(result);
    RunGuarded([&] { done(result); });
  };
  if (!exchanges_->Start(RequestLink(), std::move(request), TimeoutMs(Choice().network), std::move(finished),
                         ExchangeController::Origin::Scan))
    throw std::runtime_error(kWaitingForReply);
}

void ConsoleController::SetScanRunning(bool running, const char* reason) {
  if (!running) exchanges_->Abandon(ExchangeController::Origin::Scan);
  exchanges_->SetScanRunning(running, reason);
}

bool ConsoleController::ScanRunning() const { return exchanges_->ScanRunning(); }

bool ConsoleController::Start(Link& link, PreparedRequest request, ResultHandler apply) {
  const bool network = Choice().network;
  const int timeoutMs = TimeoutMs(network);
  const auto askedAt = std::chrono::steady_clock::now();
  // Exceptions never cross the event loop: the handler's own (a scene table
  // that refuses the record) are shown as a click's are.
  auto done = [this, network, timeoutMs, askedAt, apply, used = &link](const ExchangeResult& result) {
    RunGuarded([&] {
      if (network) TrackBusSwitch(*used, result);
      ReportResult(result, network, timeoutMs, askedAt);
      if (apply) apply(result);
    });
  };
  bool started = false;
  try {
    started = exchanges_->Start(link, std::move(request), timeoutMs, std::move(done));
  } catch (const std::exception& error) {
    emit exchangeTextChanged(RequestFailedText(QString::fromUtf8(error.what()).simplified()));
    // The request is over before it began: its fields are given back. The
    // link's error is the one the operator sees.
    if (apply) {
      ExchangeResult failed;
      failed.outcome = ExchangeOutcome::Failed;
      failed.error = error.what();
      try {
        apply(failed);
      } catch (...) {
      }
    }
    throw;
  }
  if (!started) {
    if (apply) apply(ExchangeResult{});  // held: nothing went; marks are taken back
    return false;
  }
  if (exchanges_->Waiting()) emit exchangeTextChanged(AwaitingReplyText());
  return true;
}

void ConsoleController::ReportResult(const ExchangeResult& result, bool network, int timeoutMs,
                                     std::chrono::steady_clock::time_point askedAt) {
  switch (result.outcome) {
    case ExchangeOutcome::Answered:
      LogAnswer(result);
      emit exchangeTextChanged(ReplyText(result.roundTrip, result.decoded.statusWord));
      break;
    case ExchangeOutcome::NoReply:
      // Something came from the peer, but nothing the decoder takes.
      emit exchangeTextChanged(result.notAFrame ? InvalidReplyText(result.notAFrame->at - askedAt)
                                                : NoReplyText(timeoutMs));
      break;
    case ExchangeOutcome::NotSent:
      // The line waiting for its adapter fails requests at once; they are
      // not kept to be sent when it is back.
      emit exchangeTextChanged(!network && serial_->Down() ? LinkDownText() : LinkNotOpenText(network));
      break;
    case ExchangeOutcome::Refused:
      emit exchangeTextChanged(RequestFailedText(QStringLiteral("the line no longer takes data")));
      break;
    case ExchangeOutcome::Failed:
      emit exchangeTextChanged(result.errorCode == ECONNREFUSED
                                   ? ConnectionRefusedText(result.error)
                                   : RequestFailedText(QString::fromStdString(result.error)));
      break;
  }
}

// ---------------------------------------------------------------- the bus switch's silence

void ConsoleController::TrackBusSwitch(const Link& link, const ExchangeResult& result) {
  const bool replied = result.outcome == ExchangeOutcome::Answered || result.notAFrame.has_value();
  const bool silent = (result.outcome == ExchangeOutcome::NoReply && !result.notAFrame && !result.interrupted) ||
                      (result.outcome == ExchangeOutcome::Failed && result.errorCode == ECONNREFUSED);
  if (!replied && !silent) return;  // not sent, or the link closed: nothing said of the switch
  const std::optional<LinkEndpoint> to = link.LastDestination();
  const QString peer = to ? QString::fromStdString(to->address + ':' + std::to_string(to->port)) : QString();
  const QString before = BusSwitchNotice();
  if (peer != silentPeer_) {
    silentPeer_ = peer;
    silentRequests_ = 0;
  }
  silentRequests_ = replied ? 0 : silentRequests_ + 1;
  const QString notice = BusSwitchNotice();
  if (notice != before) emit busSwitchNoticeChanged(notice);
}

void ConsoleController::ResetBusSwitchSilence() {
  const bool shown = silentRequests_ >= kSilentRequests;
  silentRequests_ = 0;
  if (shown) emit busSwitchNoticeChanged(QString());
}

QString ConsoleController::BusSwitchNotice() const {
  return silentRequests_ >= kSilentRequests ? BusSwitchSilentText(silentPeer_, silentRequests_) : QString();
}

void ConsoleController::SetBusSwitchCheck(bool on) {
  if (on)
    probe_.start();
  else
    probe_.stop();
}

void ConsoleController::SetBusSwitchCheckInterval(std::chrono::milliseconds interval) {
  probe_.setInterval(static_cast<int>(interval.count()));
}

void ConsoleController::ProbeBusSwitch() {
  // Only an open link the operator made, and never in the way of a request.
  Link& link = options_.networkRequests ? *options_.networkRequests : static_cast<Link&>(udp_);
  if (!udpOpen_ || !link.IsOpen() || !BusyReason().isEmpty()) return;
  PreparedRequest request =
      PrepareRequest(Request(RequestId::BusSwitchReadType), {}, ChooseAddressing(true, false, Choice().subnet));
  // Quiet: the log has its lines, the notice its count; the last request's
  // text stays the operator's own.
  exchanges_->Start(link, std::move(request), TimeoutMs(true), [this, used = &link](const ExchangeResult& result) {
    RunGuarded([&] {
      TrackBusSwitch(*used, result);
      if (result.outcome == ExchangeOutcome::Answered) LogAnswer(result);
    });
  });
}

void ConsoleController::LogAnswer(const ExchangeResult& result) {
  if (!result.decoded.logLine) return;
  QString line = QString::fromStdString(*result.decoded.logLine);
  if (roundTrips_) line += QStringLiteral(" (") + RoundTripText(result.roundTrip) + ')';
  AppendLine(line);
}

// ---------------------------------------------------------------- log, capture, scenes

void ConsoleController::AppendLog(const std::string& utf8Line) { AppendLine(QString::fromUtf8(utf8Line)); }

void ConsoleController::AppendLine(const QString& line) { emit lineLogged(line); }

std::vector<std::string> ConsoleController::WriteCapture(const std::string& path) const { return capture_.Save(path); }

void ConsoleController::ClearCapture() { capture_.Clear(); }

bool ConsoleController::OpenScenes(const QString& path) { return scenes_->OpenSceneFile(path); }

// ---------------------------------------------------------------- simulation

void ConsoleController::AttachSimulation() {
  // Held so that letting go of it (also when construction fails half-way)
  // first stops the simulator's threads from calling into the console.
  SimulatorRuntime* runtime = options_.simulator.get();
  simulator_ = std::shared_ptr<SimulatorRuntime>(
      runtime, [keep = std::move(options_.simulator)](SimulatorRuntime* sim) { sim->SetLogListener({}); });
  // The simulator's threads hand their lines over through the event loop,
  // all waiting lines in one call.
  simulator_->SetLogListener([this](const std::string& line) {
    std::lock_guard lock(crossThreadMutex_);
    const bool first = simulatorIncoming_.isEmpty();
    simulatorIncoming_.append(QString::fromStdString(line));
    if (simulatorIncoming_.size() > kSimulatorLogLines) simulatorIncoming_.removeFirst();
    if (first) QMetaObject::invokeMethod(this, &ConsoleController::TakeSimulatorLines, Qt::QueuedConnection);
  });
  if (const int port = simulator_->UdpPort(); port != 0) {
    simulatedNetwork_ = UdpSettings{"127.0.0.1", port, FreeLocalPort(options_.simulationLocalPort)};
    options_.busSwitchBroadcastHost = "127.0.0.1";
  }
}

QString ConsoleController::SimulatedLine() const {
  return simulator_ ? QString::fromStdString(simulator_->PtySlavePath()) : QString();
}

void ConsoleController::TakeSimulatorLines() {
  QStringList lines;
  {
    std::lock_guard lock(crossThreadMutex_);
    lines.swap(simulatorIncoming_);
  }
  simulatorLines_.append(lines);
  while (simulatorLines_.size() > kSimulatorLogLines) simulatorLines_.removeFirst();
  emit simulatorLogChanged(simulatorLines_);
}

}  // namespace veltra
