#pragma once
// Which request a received frame answers: the one waiting now, one that ran
// out of time a little earlier (a late reply), or none. Pure and clock-free:
// the caller says when requests were sent and when they ended.
#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>

#include "link/link.h"
#include "protocol/command_catalogue.h"
#include "protocol/reply_match.h"

namespace veltra {

using SteadyTime = std::chrono::steady_clock::time_point;

// A request on its way: what was sent, where, and what answers it.
struct PendingRequest {
  PreparedRequest request;
  Bytes frame;                     // the completed frame as sent
  ExpectedReply expected;
  std::optional<LinkEndpoint> to;  // where it went, on links with several peers
  SteadyTime sentAt;
  SteadyTime deadline;
};

enum class FrameVerdict {
  Answer,     // answers the waiting request
  Late,       // answers a request that ran out of time before it came
  Unrelated,  // answers none of ours (another host, another request, overheard)
  NotAFrame,  // fails the acceptance test: header, Length or checksum
};

class ReplyTracker {
 public:
  // Requests that ran out of time are remembered this many at most, the
  // oldest forgotten first, so that their late replies are told apart.
  static constexpr std::size_t kRememberedExpired = 16;

  void Start(PendingRequest request);
  bool Waiting() const { return pending_.has_value(); }
  const PendingRequest* Pending() const { return pending_ ? &*pending_ : nullptr; }

  struct Verdict {
    FrameVerdict kind = FrameVerdict::Unrelated;
    // The request answered (Answer: the waiting one; Late: the expired one);
    // valid until the tracker changes.
    const PendingRequest* request = nullptr;
  };
  // What a received unit is. A late reply is matched once: a second copy of
  // it is unrelated.
  Verdict Classify(const ReceivedUnit& unit);

  // The waiting request ends with its answer.
  PendingRequest Answered();
  // The waiting request ran out of time; it is remembered for its late reply.
  PendingRequest TimedOut();
  // Forgets every request (the link was closed or opened anew).
  void Clear();

  // Whether the unit comes from where the request went (any host for a
  // broadcast, and on links with one peer).
  static bool FromPeer(const PendingRequest& request, const ReceivedUnit& unit);

 private:
  std::optional<PendingRequest> pending_;
  std::deque<PendingRequest> expired_;  // newest last
  PendingRequest lastLate_;             // the request a Late verdict points at
};

// Whether the bytes pass the acceptance test of a received frame and are
// long enough to carry a Status in the given form.
bool IsReplyFrame(const Bytes& bytes, FrameForm form);
// Whether the bytes pass the acceptance test as a frame of any kind: a
// request without parameters (8 bytes) or longer.
bool IsFrame(const Bytes& bytes);

}  // namespace veltra
