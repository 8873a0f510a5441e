#pragma once
// One request and its one reply or time-out, on any link, with the reply
// decoded: the unit of work of the command-line tool and of anything built
// on it. Runs on the caller's thread, which waits for the reply.
//
// The reply is the first frame that arrives within the time-out and passes
// the decoder's checks; what it rejects is skipped (the link's tap still sees
// it). Whatever was left over from an earlier request is dropped before a
// request is sent, so a late reply is never taken for the next one.
#include <functional>
#include <optional>
#include <string>

#include "link/link.h"
#include "protocol/frame.h"
#include "protocol/send_path.h"
#include "replies/reply_decoder.h"

namespace veltra {

struct Exchange {
  SendOutcome outcome = SendOutcome::NotSent;  // Replied, NoReply or NotSent
  TransmitStatus transmit = TransmitStatus::NotOpen;
  Bytes request;
  std::optional<Bytes> reply;  // the accepted frame, as received
  DecodedReply decoded;        // its decoding; logLine is set when replied
  std::optional<std::uint8_t> status;
  double roundTripMs = 0;
};

// A received unit decoded in the given form.
DecodedReply DecodeUnit(const Bytes& unit, FrameForm form, bool masked);

class RequestSession final : private RequestLog {
 public:
  // replyForm: the form replies take on this link (routed over UDP, direct on
  // a serial line unless it carries routed frames). timeoutMs: the wait for
  // one reply.
  RequestSession(Link& link, FrameForm replyForm, int timeoutMs);

  // Sends the request written into buffer and waits for its reply. Throws
  // LinkError.
  Exchange Request(TransmitBuffer& buffer);
  // The next frame the decoder accepts within timeoutMs (-2: no limit).
  std::optional<DecodedReply> Listen(int timeoutMs, Bytes* frame = nullptr);

  // The log lines ("Send ：…", "Read ：…  OK!") as they are made.
  std::function<void(const std::string& line)> onLogLine;
  // Log the marker "X" in place of the bytes.
  bool masked = true;

 private:
  bool LogMasked() const override { return masked; }
  void AppendLog(const std::string& line) override;

  Link& link_;
  FrameForm replyForm_;
  int timeoutMs_;
};

}  // namespace veltra
