#pragma once
// One request and the reply that answers it, on one link: the exchange
// takes off the link what still waits there from earlier requests, sends
// the request through the send path, and waits until a frame that answers
// it arrives (reply_match.h) or its time-out runs out. Frames that answer
// nothing (late replies, other hosts, overheard traffic) are reported apart
// and change nothing of the request's result. One request at a time.
//
// The link's FrameObserver hears of every frame the exchange sends and takes,
// with what it was, and of every request that got no reply.
//
// Two ways to drive it: Request() sends and waits on the caller's thread
// (the tool, plans, scans); Start/Poll/Expire let an event loop wait
// without blocking (event_loop_exchange.h).
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "link/link.h"
#include "link/reply_tracker.h"
#include "link/send_path.h"
#include "protocol/command_catalogue.h"
#include "replies/reply_decoder.h"

namespace veltra {

enum class ExchangeOutcome {
  Answered,  // a frame that answers the request came within the time-out
  NoReply,   // none came
  NotSent,   // the link is not open
  Refused,   // the link is open but no longer takes data (its writer ended)
  Failed,    // the link failed while the request waited (event loops; error says why)
};

struct ExchangeResult {
  ExchangeOutcome outcome = ExchangeOutcome::NotSent;
  PreparedRequest request;  // what was asked, with the values that were sent
  Bytes frame;              // the completed frame as sent
  std::optional<ReceivedUnit> reply;
  DecodedReply decoded;  // the reply decoded in its form; logLine set when answered
  std::optional<std::uint8_t> status;
  std::chrono::nanoseconds roundTrip{};  // from the frame handed to the link to the reply's arrival
  // The last unit from the request's peer that was not a frame at all (no
  // reply, but something came: line settings, noise).
  std::optional<ReceivedUnit> notAFrame;
  std::string error;  // Failed: the link's error
  int errorCode = 0;  // Failed: the system's error number, when it gave one (ECONNREFUSED: refused)
  // When the request was handed to the link (the system clock, for logs).
  std::chrono::system_clock::time_point sentAt{};
  // Whether the request went out (NoReply and Answered always; a request
  // the stop kept back did not).
  bool sent = false;
  // The link's stop ended it (Link::WatchStop): before it was sent (NotSent)
  // or while it waited (NoReply).
  bool interrupted = false;
};

// A frame that answers no request of ours now.
struct UnmatchedFrame {
  FrameVerdict kind = FrameVerdict::Unrelated;  // Late or Unrelated
  ReceivedUnit unit;
  DecodedReply decoded;  // in the form of the request it answers late, else the listening form
  // Late: the request it answers and the time since that was sent.
  std::optional<PreparedRequest> lateFor;
  std::optional<std::chrono::nanoseconds> roundTrip;
  // "Late reply: Read ：…  OK! (N ms)" or "Unrelated frame: Read ：…  OK!";
  // empty for a unit the decoder rejects (which is not logged).
  std::string logLine;
};

class Exchange {
 public:
  // log: where the "Send ：" line goes, and whether the log masks bytes.
  Exchange(Link& link, RequestLog& log);

  // The wait for a reply, in milliseconds.
  int timeoutMs = 500;
  // The form frames that answer nothing are read in (the serial line's
  // "Monitor" choice; routed over UDP).
  FrameForm listenForm = FrameForm::Direct;
  // Frames that answer nothing, as they are taken off the link.
  std::function<void(const UnmatchedFrame&)> onUnmatched;

  Link& link() { return link_; }

  // Sends and waits for the answer or the time-out. When the link's stop is
  // raised (Link::WatchStop) it sends nothing, or ends the wait at once:
  // interrupted. Throws LinkError.
  ExchangeResult Request(PreparedRequest request);

  // Takes what waits on the link, then sends. The result when the request
  // ended at once (not sent); otherwise it waits. Throws LinkError.
  std::optional<ExchangeResult> Start(PreparedRequest request);
  bool Waiting() const { return tracker_.Waiting(); }
  // While no request waits: takes one unit within timeoutMs, if one comes,
  // and reports it to onUnmatched (watching the bus for frames modules send
  // by themselves). Throws LinkError, and std::logic_error while a request
  // waits.
  void Listen(int timeoutMs);
  std::optional<SteadyTime> Deadline() const;
  // Takes every unit the link holds now; the result when one answered the
  // waiting request. Throws LinkError.
  std::optional<ExchangeResult> Poll();
  // The waiting request's end when its deadline has passed at `now`.
  std::optional<ExchangeResult> Expire(SteadyTime now);
  // The waiting request ends because the link failed under it; a reply
  // that still comes is a late one. code: the system's error number (0: none).
  std::optional<ExchangeResult> Fail(const std::string& error, int code = 0);
  // Forgets the waiting request and those remembered for late replies (the
  // link was closed).
  void Reset();

 private:
  // One received unit: the result when it answers the waiting request.
  std::optional<ExchangeResult> Take(const ReceivedUnit& unit);
  ExchangeResult Answer(const ReceivedUnit& unit);
  // Tells the link's observer what the unit was.
  void Observe(ObservedKind kind, const ReceivedUnit& unit, FrameForm form,
               std::optional<std::chrono::nanoseconds> roundTrip = std::nullopt) const;
  // The waiting request ends because the link's stop was raised.
  ExchangeResult Interrupt();
  DecodedReply Decode(const Bytes& bytes, FrameForm form) const;

  Link& link_;
  RequestLog& log_;
  ReplyTracker tracker_;
  std::optional<ReceivedUnit> notAFrame_;  // of the waiting request
  std::chrono::system_clock::time_point sentClock_{};  // of the waiting request
};

// For listeners that take units off a link without an exchange (veltra-cli
// monitor): tells the link's observer of a received unit, which answers
// nothing, read in the given form.
void ReportReceived(Link& link, const ReceivedUnit& unit, FrameForm form);

// "Late reply: " / "Unrelated frame: " and the reply's log line.
std::string UnmatchedLogLine(FrameVerdict kind, const std::string& readLine,
                             std::optional<std::chrono::nanoseconds> roundTrip);

}  // namespace veltra
