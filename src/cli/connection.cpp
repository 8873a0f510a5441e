#include "cli/connection.h"

#include "cli/storage_error.h"

namespace veltra::cli {

Connection::Connection(const GlobalOptions& o, StopSignal* stop, const std::string& sendTo) {
  if (!o.capture.empty()) {
    try {
      capture_ = std::make_unique<CaptureStream>(o.capture, o.link.Udp() ? CaptureLinkType::Ipv4 : CaptureLinkType::Serial);
    } catch (const CaptureError& error) {
      throw StorageError(error.what());
    }
  }
  link_ = OpenLink(o.link, sendTo.empty() ? std::nullopt : std::optional<std::string>(sendTo), stop);
  link_->SetTap(capture_.get());
}

Connection::~Connection() {
  try {
    Close();
  } catch (const StorageError&) {
  }
}

void Connection::Close() {
  link_.reset();
  if (!capture_) return;
  std::unique_ptr<CaptureStream> capture = std::move(capture_);
  try {
    capture->Finish();
  } catch (const CaptureError& error) {
    throw StorageError(error.what());
  }
}

}  // namespace veltra::cli
