#pragma once
// What a request travels over: one link to the bus (the UDP link to a bus
// switch or the serial line), as the send path and the tools see it. Qt-free.
//
// A link reports its outcomes distinctly: a frame sent, nothing sent because
// the link is not open, a failure of the system (LinkError, with the
// system's reason), and on the receiving side one received unit or nothing
// within the time-out. Every frame that crosses the link in either direction
// passes the link's FrameTap first, also those the decoder later rejects.
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
