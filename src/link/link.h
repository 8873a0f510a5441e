#pragma once
// What a request travels over: one link to the bus (the UDP link to a bus
// switch or the serial line), as the send path and the tools see it. Qt-free.
//
// A link reports its outcomes distinctly: a frame sent, nothing sent because
// the link is not open, a failure of the system (LinkError, with the
// system's reason), and on the receiving side one received unit or nothing
// within the time-out. Every frame that crosses the link in either direction
// passes the link's FrameTap first, also those the decoder later rejects;
// what became of it (sent, the answer, a late or unrelated frame, bytes that
// are no frame, noise skipped, no reply) goes to the link's FrameObserver.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/stop_signal.h"
#include "protocol/frame.h"

namespace veltra {

// A failure of the link's system calls. what() is the text the operator
// sees; reason() the system's own description (errno text) and code() its
// number, when the system gave one.
class LinkError : public std::runtime_error {
 public:
  explicit LinkError(const std::string& text, std::string reason = {}, int code = 0)
      : std::runtime_error(text), reason_(std::move(reason)), code_(code) {}
  const std::string& reason() const noexcept { return reason_; }
  int code() const noexcept { return code_; }

 private:
  std::string reason_;
  int code_;
};

enum class TransmitStatus {
  Sent,     // handed to the system (UDP) or queued for the line (serial)
  NotOpen,  // the link is not open: the request was not sent
  Refused,  // open, but the line no longer takes data (its writer has ended)
};

// One end of a frame's way: an IPv4 address and port, or a serial device
// (port 0).
struct LinkEndpoint {
  std::string address;
  int port = 0;
};

enum class FrameDirection { Sent, Received };

// One frame as it crossed a link.
struct FrameTrace {
  FrameDirection direction = FrameDirection::Sent;
  std::span<const std::uint8_t> bytes;
  std::chrono::system_clock::time_point at;
  LinkEndpoint local;
  LinkEndpoint remote;
};

// One unit received: a datagram, or a frame cut from a serial line.
struct ReceivedUnit {
  Bytes bytes;
  LinkEndpoint from;  // the sender (UDP); the device, port 0 (serial)
  std::chrono::steady_clock::time_point at;
};

// Sees every frame a link sends and receives, on the thread that uses the
// link, before anything else looks at it.
class FrameTap {
 public:
  virtual ~FrameTap() = default;
  virtual void OnFrame(const FrameTrace& frame) = 0;
};

// What became of a frame on a link, as the exchange and the link tell it.
enum class ObservedKind : std::uint8_t {
  Sent,       // a request handed to the link
  Answer,     // the reply that answers the waiting request
  Late,       // a reply to a request whose time had run out
  Unrelated,  // a frame that answers none of ours (another host or request, overheard)
  NotAFrame,  // received bytes that fail the acceptance test (a bad checksum on the serial line)
  Noise,      // bytes the serial line skipped because they started no frame
  NoReply,    // the request's time ran out with no reply (bytes: the request)
};

// The serial line's rate and bits per character (start, data, parity and
// stop bits; 1.5 stop bits count as 2); zero on links without a line rate.
struct LineTiming {
  std::uint32_t baud = 0;
  int bitsPerByte = 0;
  bool operator==(const LineTiming&) const = default;
};

struct ObservedFrame {
  ObservedKind kind = ObservedKind::Sent;
  std::span<const std::uint8_t> bytes;  // empty for Noise
  std::chrono::system_clock::time_point at;
  LinkEndpoint peer;  // the far host and port (UDP), or the serial device (port 0)
  LineTiming line;
  FrameForm form = FrameForm::Direct;  // the form the frame is read in
  std::optional<std::chrono::nanoseconds> roundTrip;  // Answer and Late
  std::size_t skippedBytes = 0;                       // Noise
};

// Sees what became of every frame a link carries, on the thread that uses
// the link. The FrameTap sees the bytes; this sees their meaning.
class FrameObserver {
 public:
  virtual ~FrameObserver() = default;
  virtual void OnObserved(const ObservedFrame& frame) = 0;
};

// The system time of a steady-clock instant in the recent past.
inline std::chrono::system_clock::time_point SystemTimeOf(std::chrono::steady_clock::time_point at) {
  const auto age = std::chrono::steady_clock::now() - at;
  return std::chrono::system_clock::now() - std::chrono::duration_cast<std::chrono::system_clock::duration>(age);
}

class Link {
 public:
  virtual ~Link() = default;

  virtual bool IsOpen() const = 0;
  // Sends one complete frame. Throws LinkError when the system refuses.
  virtual TransmitStatus Transmit(std::span<const std::uint8_t> frame) = 0;
  // The next unit received within timeoutMs (-1: the link's own time-out;
  // -2: no limit), or nothing.
  virtual std::optional<ReceivedUnit> Receive(int timeoutMs) = 0;
  // Drops what has been received and not yet taken. Never waits.
  virtual void DiscardPending() = 0;

  // Where the last frame sent went, when the link has several possible
  // peers (UDP): a reply must come from there. Empty on a serial line.
  virtual std::optional<LinkEndpoint> LastDestination() const { return std::nullopt; }
  // The form replies arrive in for a request of the given form: on a serial
  // line the request's own, through a bus switch always routed.
  virtual FrameForm ReplyForm(FrameForm requestForm) const { return requestForm; }

  // For event loops: a descriptor that becomes readable when Receive(0)
  // has something (-1: none; use SetReadyHandler instead).
  virtual int ReadableHandle() const { return -1; }
  // For event loops: called on the owner's thread whenever Receive(0) has
  // something new, by links that are told of arrivals (the serial line
  // through the event loop). Links with a ReadableHandle never call it.
  void SetReadyHandler(std::function<void()> handler) { ready_ = std::move(handler); }

  // One tap per link; null removes it. Not owned.
  void SetTap(FrameTap* tap) { tap_ = tap; }

  // One observer per link; null removes it. Not owned.
  void SetObserver(FrameObserver* observer) { observer_ = observer; }
  bool Observed() const { return observer_ != nullptr; }
  // Tells the observer what became of a frame, with the link's line timing
  // and, when the frame names none, the link's peer.
  void Report(ObservedFrame frame) const {
    if (!observer_) return;
    if (frame.peer.address.empty()) frame.peer = Peer();
    frame.line = Timing();
    observer_->OnObserved(frame);
  }
  // Where the link sends: the bus switch's host and port, or the serial
  // device (port 0).
  virtual LinkEndpoint Peer() const { return {}; }
  virtual LineTiming Timing() const { return {}; }
  // A stop that ends every wait of Receive at once when it is raised (the
  // tool's Ctrl+C); null: none. Not owned: it outlives the link, or is
  // replaced by null first.
  virtual void WatchStop(StopSignal* stop) { stop_ = stop; }
  bool Stopping() const { return stop_ && stop_->Raised(); }

 protected:
  bool Tapped() const { return tap_ != nullptr; }
  void Ready() const {
    if (ready_) ready_();
  }
  void Trace(FrameDirection direction, std::span<const std::uint8_t> bytes, const LinkEndpoint& local,
             const LinkEndpoint& remote) const {
    if (tap_) tap_->OnFrame({direction, bytes, std::chrono::system_clock::now(), local, remote});
  }
  StopSignal* Stop() const { return stop_; }

 private:
  FrameTap* tap_ = nullptr;
  FrameObserver* observer_ = nullptr;
  StopSignal* stop_ = nullptr;
  std::function<void()> ready_;
};

// A link that is not open: sends nothing, receives nothing.
class ClosedLink final : public Link {
 public:
  bool IsOpen() const override { return false; }
  TransmitStatus Transmit(std::span<const std::uint8_t>) override { return TransmitStatus::NotOpen; }
  std::optional<ReceivedUnit> Receive(int) override { return std::nullopt; }
  void DiscardPending() override {}
};

}  // namespace veltra
