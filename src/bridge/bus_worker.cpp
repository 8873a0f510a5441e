#include "bridge/bus_worker.h"

#include "bridge/bridge_log.h"
#include "link/serial_link.h"
#include "protocol/status_words.h"

namespace veltra::bridge {
namespace {

using Clock = std::chrono::steady_clock;

// The longest the thread sleeps, so that its heartbeat stays fresh.
constexpr auto kLongestWait = std::chrono::milliseconds(500);

std::vector<int> Addresses(const SiteModel& model) {
  std::vector<int> addresses;
  for (const SiteModule& m : model.Modules()) addresses.push_back(m.address);
  return addresses;
}

LineBudget BudgetOf(const WorkerSettings& s) {
  LineBudget budget;
  budget.share = s.budgetShare;
  if (!s.link.Udp() && s.link.baud > 0) budget.secondsPerByte = BitsPerCharacter(s.link) / s.link.baud;
  return budget;
}

std::string Seconds(Clock::duration d) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  return ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
}

std::string Describe(const BusCommand& c) {
  std::string text = std::string(ActionName(c.action)) + " for ";
  if (c.entity.kind == EntityKind::Scene) return text + "scene " + std::to_string(c.entity.number);
  return text + std::string(ComponentName(c.entity.kind)) + " " + std::to_string(c.entity.number) + " of module " +
         std::to_string(c.entity.module);
}

}  // namespace

BusWorker::Opener BusWorker::DefaultOpener() {
  return [](const LinkOptions& options) { return veltra::OpenLink(options); };
}

BusWorker::BusWorker(WorkerSettings settings, SiteModel model, BusEvents& events, Opener open)
    : settings_(std::move(settings)),
      model_(std::move(model)),
      events_(events),
      open_(std::move(open)),
      addressing_{settings_.link.Form(), settings_.link.subnet},
      scheduler_(Addresses(model_), settings_.pollInterval, BudgetOf(settings_)) {}

BusWorker::~BusWorker() { Stop(); }

void BusWorker::Start() {
  heartbeat_ = Clock::now().time_since_epoch().count();
  thread_ = std::thread([this] { Run(); });
}

void BusWorker::Stop() {
  stop_ = true;
  queue_.Wake();
  if (thread_.joinable()) thread_.join();
}

Clock::time_point BusWorker::Heartbeat() const { return Clock::time_point(Clock::duration(heartbeat_.load())); }

void BusWorker::AppendLog(const std::string& line) { Log(LogLevel::Debug, line); }

void BusWorker::Run() {
  Clock::time_point reopenAt = Clock::now();
  while (!stop_) {
    const auto now = Clock::now();
    heartbeat_ = now.time_since_epoch().count();
    if (!link_) {
      if (now >= reopenAt && !OpenLink()) reopenAt = now + settings_.reopenAfter;
      if (!link_) queue_.WaitUntil(std::min(reopenAt, now + kLongestWait));
      continue;
    }
    if (const auto command = queue_.Pop()) {
      Execute(*command);
      continue;
    }
    if (const auto module = scheduler_.Due(now)) {
      Poll(*module);
      continue;
    }
    queue_.WaitUntil(std::min(scheduler_.NextDue(), now + kLongestWait));
  }
  if (link_) queue_.Close();
}

bool BusWorker::OpenLink() {
  try {
    link_ = open_(settings_.link);
  } catch (const LinkError& e) {
    const std::string why = e.what() + (e.reason().empty() ? std::string() : ": " + e.reason());
    if (why != lastOpenError_) {
      Log(LogLevel::Error, "link not open: " + why + "; trying again every " + Seconds(settings_.reopenAfter));
      events_.LinkChanged(false, why);
    }
    lastOpenError_ = why;
    return false;
  }
  lastOpenError_.clear();
  RequestLog& log = *this;
  exchange_ = std::make_unique<Exchange>(*link_, log);
  exchange_->timeoutMs = settings_.link.timeoutMs;
  exchange_->listenForm = addressing_.form;
  exchange_->onUnmatched = [](const UnmatchedFrame& frame) {
    if (!frame.logLine.empty()) Log(LogLevel::Debug, frame.logLine);
  };
  scheduler_.Start(Clock::now());
  queue_.Open();
  Log(LogLevel::Notice, "link open: " + (settings_.link.Udp() ? "bus switch " + settings_.link.udp
                                                                : "serial line " + settings_.link.serial));
  events_.LinkChanged(true, {});
  return true;
}

void BusWorker::LinkLost(const std::string& why) {
  Log(LogLevel::Error, "link lost: " + why);
  const std::vector<BusCommand> refused = queue_.Close();
  exchange_.reset();
  link_.reset();
  lastOpenError_ = why;
  events_.LinkChanged(false, why);
  for (const BusCommand& c : refused) events_.CommandFailed(c, "the link to the bus is down (" + why + ")");
  for (const int module : availability_.LinkLost(Addresses(model_))) events_.AvailabilityChanged(module, false);
}

std::optional<ExchangeResult> BusWorker::Ask(PreparedRequest request) {
  // Alive as long as each request ends within its time-out, however many a
  // command needs (a scene read back from every module that holds it).
  heartbeat_ = Clock::now().time_since_epoch().count();
  std::string failure;
  try {
    ExchangeResult result = exchange_->Request(std::move(request));
    if (result.outcome == ExchangeOutcome::NotSent) failure = "the link is not open";
    else if (result.outcome == ExchangeOutcome::Refused) failure = "the line no longer takes data";
    else if (result.outcome == ExchangeOutcome::Failed) failure = result.error;
    const auto* serial = dynamic_cast<const SerialLink*>(link_.get());
    if (failure.empty() && serial && serial->HungUp()) failure = "the serial line hung up";
    if (failure.empty()) return result;
  } catch (const LinkError& e) {
    failure = e.what() + (e.reason().empty() ? std::string() : ": " + e.reason());
  }
  LinkLost(failure);
  return std::nullopt;
}

void BusWorker::Replied(int module) {
  if (const auto change = availability_.Replied(module)) events_.AvailabilityChanged(module, *change);
}

bool BusWorker::ReadStatus(int module) {
  const auto result = Ask(StatusRequest(module, addressing_));
  if (!result || result->outcome != ExchangeOutcome::Answered) return false;
  Replied(module);
  if (result->status != kStatusOk || result->decoded.effect != ReplyEffect::StatusBytes) {
    Log(LogLevel::Warning, "module " + std::to_string(module) + " answers its status read with \"" +
                               result->decoded.statusWord + "\"");
    return true;
  }
  const auto& bits = result->decoded.statusBits;
  if (model_.LearnStatusCount(module, static_cast<int>(bits.size()))) events_.ModelChanged(model_, module);
  if (const SiteModule* m = model_.Find(module); m && m->outputs > 0) events_.StatesRead(*m, bits);
  return true;
}

void BusWorker::Poll(int module) {
  const SiteModule* m = model_.Find(module);
  const auto started = Clock::now();
  const auto result = Ask(m && m->PollsStatus() ? StatusRequest(module, addressing_) : TypeRequest(module, addressing_));
  if (!result) return;
  const int bytes = static_cast<int>(result->frame.size() + (result->reply ? result->reply->bytes.size() : 0));
  scheduler_.Polled(started, bytes);
  if (result->outcome != ExchangeOutcome::Answered) {
    if (const auto change = availability_.Missed(module)) events_.AvailabilityChanged(module, *change);
    return;
  }
  Replied(module);
  const DecodedReply& reply = result->decoded;
  if (result->status != kStatusOk) return;
  if (reply.effect == ReplyEffect::ModuleType) {
    if (model_.LearnType(module, reply.text)) {
      Log(LogLevel::Notice, "module " + std::to_string(module) + " is of type " + reply.text);
      events_.ModelChanged(model_, module);
      ReadStatus(module);  // its states now, not a round later
    }
  } else if (reply.effect == ReplyEffect::StatusBytes) {
    if (model_.LearnStatusCount(module, static_cast<int>(reply.statusBits.size()))) events_.ModelChanged(model_, module);
    if (m && m->outputs > 0) events_.StatesRead(*m, reply.statusBits);
  }
}

void BusWorker::Execute(const BusCommand& command) {
  if (!model_.Has(command.entity)) {
    events_.CommandFailed(command, "the site has no such " + std::string(ComponentName(command.entity.kind)));
    return;
  }
  const auto result = Ask(CommandRequest(command, addressing_));
  if (!result) return;
  if (result->outcome != ExchangeOutcome::Answered) {
    events_.CommandFailed(command, "no reply within " + std::to_string(settings_.link.timeoutMs) + " ms");
    return;
  }
  if (command.entity.kind != EntityKind::Scene) Replied(command.entity.module);
  if (result->status != kStatusOk) {
    events_.CommandFailed(command, "the module answers \"" + result->decoded.statusWord + "\"");
    return;
  }
  Log(LogLevel::Debug, Describe(command) + " done");
  // Read back what the command changed: the module, or every module that
  // holds the scene.
  if (command.entity.kind != EntityKind::Scene) {
    ReadStatus(command.entity.module);
    return;
  }
  const auto holders = model_.Scenes().find(command.entity.number);
  if (holders == model_.Scenes().end()) return;
  for (const int module : holders->second) {
    const SiteModule* m = model_.Find(module);
    if (m && m->PollsStatus() && link_) ReadStatus(module);
  }
}

}  // namespace veltra::bridge
