#include "sim/sim_endpoints.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "protocol/log_format.h"
#include "sim/frame_describe.h"

namespace veltra {
namespace {

// A partial frame on the serial line that gets no further byte for this long
// will not be completed.
constexpr auto kSerialQuietGap = std::chrono::milliseconds(50);

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string PeerText(const sockaddr_in& peer) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

}  // namespace

SimEndpoint::SimEndpoint(SimBus& bus, SimFaults faults, SimLogFn log, std::string name, SimLink link)
    : bus_(bus), shaper_(faults), log_(std::move(log)), name_(std::move(name)), link_(link) {
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) ThrowErrno("eventfd");
}

SimEndpoint::~SimEndpoint() {
  Stop();
  CloseFd(wake_);
}

void SimEndpoint::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void SimEndpoint::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  const std::uint64_t one = 1;
  while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
}

void SimEndpoint::Emit(const SimRequest& request) {
  {
    std::lock_guard lock(emitMutex_);
    emitted_.emplace_back(BuildRequestFrame(request, link_ == SimLink::Udp ? FrameForm::Routed : FrameForm::Direct),
                          DescribeRequest(request));
  }
  const std::uint64_t one = 1;
  while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void SimEndpoint::Log(const std::string& line) const {
  if (log_) log_("[" + name_ + "] " + line);
}

void SimEndpoint::Answer(const std::uint8_t* data, std::size_t size, const sockaddr_in& peer,
                         const std::string& from, Clock::time_point notBefore) {
  const SimAnswer answer = bus_.Handle(data, size, link_);
  if (log_) {
    std::string hex = HexText(data, static_cast<int>(std::min<std::size_t>(size, kTransmitBufferSize)));
    if (!hex.empty()) hex.pop_back();
    Log(from + "> " + (answer.request ? DescribeRequest(*answer.request) : std::string("?")) + " | " + hex);
    if (!answer.note.empty()) Log(from + "  " + answer.note);
  }
  for (const SimFrame& reply : answer.replies) {
    const FrameForm form = link_ == SimLink::Udp ? FrameForm::Routed : answer.request->form;
    const ReplyShaper::Outcome outcome = shaper_.Shape(reply);
    if (!outcome.bytes) {
      Log(from + "  reply dropped: " + DescribeReply(reply, form));
      continue;
    }
    Log(from + "< " + DescribeReply(*outcome.bytes, form));
    const auto now = Clock::now();
    Pending out{std::max(now, notBefore) + std::chrono::milliseconds(shaper_.DelayMs()), *outcome.bytes, peer};
    if (out.due <= now)
      Transmit(out);
    else
      pending_.push_back(std::move(out));
  }
}

void SimEndpoint::SetLoad(const SimLoad& load, LoadTraffic traffic) {
  load_ = load;
  traffic_.emplace(std::move(traffic));
  loadNext_ = Clock::now();
}

void SimEndpoint::SendLoad(Clock::time_point now) {
  if (load_.rate <= 0 || !traffic_ || now < loadNext_) return;
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / load_.rate;
  // A wake-up that came late sends what is overdue, up to a second's worth;
  // beyond that the rate starts afresh rather than flood the link.
  if (now - loadNext_ > std::chrono::seconds(1)) loadNext_ = now - std::chrono::seconds(1);
  const std::optional<sockaddr_in> peer = LoadPeer();
  while (loadNext_ <= now) {
    Pending frame{now, traffic_->Next(), peer.value_or(sockaddr_in{}), true};
    if (peer && Transmit(frame)) {
      ++loadSent_;
    } else {
      ++loadDropped_;
    }
    loadNext_ += period;
  }
}

void SimEndpoint::SendDue(Clock::time_point now) {
  while (!pending_.empty() && pending_.front().due <= now) {
    Transmit(pending_.front());
    pending_.pop_front();
  }
}

void SimEndpoint::Run() {
  for (;;) {
    // Woken to the microsecond: a paced serial line sends a byte about
    // every millisecond.
    std::optional<Clock::time_point> due = TimerDue();
    if (!pending_.empty() && (!due || pending_.front().due < *due)) due = pending_.front().due;
    if (load_.rate > 0 && (!due || loadNext_ < *due)) due = loadNext_;
    timespec timeout{};
    if (due) {
      const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*due - Clock::now()).count();
      timeout.tv_sec = std::max<long long>(0, left) / 1'000'000'000;
      timeout.tv_nsec = std::max<long long>(0, left) % 1'000'000'000;
    }
    pollfd fds[2] = {{Fd(), POLLIN, 0}, {wake_, POLLIN, 0}};
    const int ready = ::ppoll(fds, 2, due ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
      Log(std::string("poll failed: ") + std::system_category().message(errno));
      return;
    }
    if (fds[1].revents) {
      if (stopping_) return;
      std::uint64_t count = 0;
      while (::read(wake_, &count, sizeof count) < 0 && errno == EINTR) {
      }
      std::vector<std::pair<SimFrame, std::string>> frames;
      {
        std::lock_guard lock(emitMutex_);
        frames.swap(emitted_);
      }
      for (auto& [frame, description] : frames) {
        Log("bus> " + description);
        Transmit(Pending{Clock::now(), std::move(frame), EmitPeer()});
      }
    }
    if (fds[0].revents & POLLIN) {
      OnReadable();
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Nothing to read but the descriptor keeps waking: do not spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto after = Clock::now();
    OnTimer(after);
    SendDue(after);
    SendLoad(after);
  }
}

// ---- UDP bus switch -------------------------------------------------------

UdpBusSwitch::UdpBusSwitch(SimBus& bus, int port, SimFaults faults, SimLogFn log)
    : SimEndpoint(bus, faults, std::move(log), "udp", SimLink::Udp) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) ThrowErrno("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    const int error = errno;
    CloseFd(fd_);
    throw std::system_error(error, std::generic_category(),
                            "bind 127.0.0.1:" + std::to_string(port));
  }
  socklen_t size = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  bus.SetServedPort(port_);
}

UdpBusSwitch::~UdpBusSwitch() {
  Stop();
  CloseFd(fd_);
}

void UdpBusSwitch::OnReadable() {
  std::uint8_t datagram[2048];
  for (;;) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    const ssize_t n = ::recvfrom(fd_, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&peer), &size);
    if (n < 0) return;  // EAGAIN: all read
    // Loopback only: nothing is ever sent to another address.
    if (peer.sin_family != AF_INET || peer.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
      Log("ignored a datagram from " + PeerText(peer));
      continue;
    }
    lastPeer_ = peer;
    Answer(datagram, static_cast<std::size_t>(n), peer, PeerText(peer) + " ");
  }
}

std::optional<sockaddr_in> UdpBusSwitch::LoadPeer() const {
  if (!Load().udpPort) return lastPeer_.sin_port ? std::optional<sockaddr_in>(lastPeer_) : std::nullopt;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(Load().udpPort));
  return to;
}

bool UdpBusSwitch::Transmit(const Pending& reply) {
  if (reply.peer.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) return false;
  if (::sendto(fd_, reply.bytes.data(), reply.bytes.size(), 0,
               reinterpret_cast<const sockaddr*>(&reply.peer), sizeof reply.peer) < 0) {
    if (!reply.load) Log("send to " + PeerText(reply.peer) + " failed: " + std::system_category().message(errno));
    return false;
  }
  return true;
}

// ---- pseudo-terminal bus --------------------------------------------------

PtyBus::PtyBus(SimBus& bus, SimFaults faults, SimLogFn log, int baud)
    : SimEndpoint(bus, faults, std::move(log), "pty", SimLink::Serial) {
  // Ten bits a byte: start bit, eight data bits, stop bit.
  if (baud > 0)
    characterTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / baud));
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) < 0) ThrowErrno("openpty");
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  // Raw line on the slave side (never on the master): no echo of the
  // replies, no translation of bytes. The console sets its own line settings.
  termios settings{};
  if (::tcgetattr(slave_, &settings) == 0) {
    ::cfmakeraw(&settings);
    ::tcsetattr(slave_, TCSANOW, &settings);
  }
  char name[128] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) {
    const int error = errno;
    CloseFd(master_);
    CloseFd(slave_);
    throw std::system_error(error, std::generic_category(), "ptsname");
  }
  slavePath_ = name;
}

PtyBus::~PtyBus() {
  Stop();
  CloseFd(master_);
  CloseFd(slave_);
}

void PtyBus::AnswerFrames(const std::vector<SimFrame>& frames, Clock::time_point arrived) {
  for (const SimFrame& frame : frames) Answer(frame.data(), frame.size(), sockaddr_in{}, "", arrived);
}

void PtyBus::OnReadable() {
  std::uint8_t bytes[2048];
  for (;;) {
    const ssize_t n = ::read(master_, bytes, sizeof bytes);
    if (n <= 0) return;
    lastRead_ = Clock::now();
    // The pty hands the bytes over at once; on the line the last of them
    // would arrive only after all of them have crossed it.
    inputDone_ = std::max(inputDone_, lastRead_) + characterTime_ * n;
    const std::size_t skippedBefore = splitter_.Skipped();
    AnswerFrames(splitter_.Feed(bytes, static_cast<std::size_t>(n)), inputDone_);
    if (splitter_.Skipped() != skippedBefore)
      Log("skipped " + std::to_string(splitter_.Skipped() - skippedBefore) + " bytes that start no frame");
  }
}

std::optional<SimEndpoint::Clock::time_point> PtyBus::TimerDue() const {
  std::optional<Clock::time_point> due;
  if (splitter_.Pending()) due = lastRead_ + kSerialQuietGap;
  if (!output_.empty()) {
    const Clock::time_point nextByte = outputDone_ + characterTime_;
    if (!due || nextByte < *due) due = nextByte;
  }
  return due;
}

void PtyBus::OnTimer(Clock::time_point now) {
  WriteDueBytes(now);
  if (!splitter_.Pending() || now < lastRead_ + kSerialQuietGap) return;
  const std::size_t skippedBefore = splitter_.Skipped();
  AnswerFrames(splitter_.Resync(), inputDone_);
  Log("skipped " + std::to_string(splitter_.Skipped() - skippedBefore) + " bytes of an incomplete frame");
}

bool PtyBus::Transmit(const Pending& reply) {
  if (characterTime_ == Clock::duration::zero()) return Write(reply.bytes.data(), reply.bytes.size(), reply.load);
  // The reply starts when it is due, or after the bytes still on the line.
  // Load beyond what the line carries in a second is not taken.
  if (reply.load && output_.size() * characterTime_ > std::chrono::seconds(1)) return false;
  if (output_.empty()) outputDone_ = std::max(outputDone_, reply.due);
  output_.insert(output_.end(), reply.bytes.begin(), reply.bytes.end());
  WriteDueBytes(Clock::now());
  return true;
}

void PtyBus::WriteDueBytes(Clock::time_point now) {
  std::vector<std::uint8_t> due;
  // A late wake-up sends what is overdue at once, so the line keeps its rate.
  while (!output_.empty() && outputDone_ + characterTime_ <= now) {
    due.push_back(output_.front());
    output_.pop_front();
    outputDone_ += characterTime_;
  }
  if (!due.empty() && !Write(due.data(), due.size())) output_.clear();
}

bool PtyBus::Write(const std::uint8_t* bytes, std::size_t size, bool quiet) {
  std::size_t done = 0;
  int waits = 0;
  while (done < size) {
    const ssize_t n = ::write(master_, bytes + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A load frame that does not fit is dropped whole; one that is half
      // out gets up to 10 ms for the rest.
      if (quiet && done == 0) return false;
      if (quiet && errno == EAGAIN && ++waits <= 100) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        continue;
      }
      if (quiet) return false;
      Log("reply not written: " + std::system_category().message(errno));
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace veltra
