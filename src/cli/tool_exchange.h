#pragma once
// The tool's exchange on its link: requests from the catalogue, one at a
// time, each waiting for the reply that answers it. The log lines ("Send
// ：…", the answer's "Read ：…", late and unrelated frames) go to a printer
// when the output shows them.
#include <functional>
#include <string>

#include "cli/link_options.h"
#include "link/exchange.h"

namespace veltra::cli {

class ToolExchange final : private RequestLog {
 public:
  using Printer = std::function<void(const std::string& line)>;

  // print: where log lines go; empty prints none. masked: "X" for the bytes.
  ToolExchange(Link& link, const LinkOptions& options, bool masked, Printer print);

  // Builds the request for the link's form and the given subnet, sends it
  // and waits for its answer. A request without an answer carries in
  // notAFrame what came from its peer instead, on a serial line the bytes
  // that started no frame. Throws LinkError.
  ExchangeResult Request(const RequestSpec& spec, RequestValues values, int subnet);
  // The same for a request built elsewhere (a scan's).
  ExchangeResult Request(PreparedRequest request);

  Exchange& exchange() { return exchange_; }
  Link& link() { return exchange_.link(); }
  FrameForm Form() const { return form_; }
  // Besides the log: every frame that answers no request, as it is taken.
  std::function<void(const UnmatchedFrame&)> heard;

 private:
  bool LogMasked() const override { return masked_; }
  void AppendLog(const std::string& line) override;

  FrameForm form_;
  bool masked_;
  Printer print_;
  Exchange exchange_;
};

}  // namespace veltra::cli
