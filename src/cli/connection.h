#pragma once
// The link of a command that talks to the bus, with the capture of what
// crosses it. The capture is streamed to its file as frames pass; the link
// is closed before the capture is finished, also when a command fails on the
// way, so that what was captured is kept.
#include <memory>
#include <string>

#include "capture/frame_recorder.h"
#include "cli/global_options.h"

namespace veltra::cli {

class Connection {
 public:
  // Creates the capture file (StorageError) and opens the link (LinkError).
  Connection(const GlobalOptions& options, StopSignal* stop, const std::string& sendTo = {});
  // Closes the link and finishes the capture; a failure here goes unreported
  // (another one is on its way).
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Link& link() { return *link_; }
  // Closes the link, then finishes the capture. Throws StorageError.
  void Close();

 private:
  std::unique_ptr<CaptureStream> capture_;
  std::unique_ptr<Link> link_;
};

}  // namespace veltra::cli
