#include "link/failure_details.h"

#include <cerrno>
#include <cstring>

namespace veltra {
namespace {

std::string WithHint(int code, const char* hint) { return std::string(std::strerror(code)) + ": " + hint; }

std::string SerialReason(int code) {
  switch (code) {
    case EACCES:
    case EPERM:
      return WithHint(code, "add your user to the dialout group");
    // A port locked by another program: its lock (EWOULDBLOCK) or the
    // terminal's exclusive mode (EBUSY).
    case EBUSY:
    case EWOULDBLOCK:
      return WithHint(EBUSY, "another program holds the port");
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return WithHint(code, "is the adapter plugged in and the port name right?");
    case ENOTTY:
      return WithHint(code, "the device is not a serial port");
    default:
      return std::strerror(code);
  }
}

std::string NetworkReason(int code) {
  if (code == EACCES) return WithHint(code, "local ports below 1024 need administrator rights");
  if (code == ECONNREFUSED) return WithHint(code, "nothing listens there; check the bus switch's address and port");
  return std::strerror(code);
}

}  // namespace

std::string ExplainedReason(LinkKind kind, int code, const std::string& reason) {
  // Negative codes are the name service's, whose own text is the reason.
  if (code <= 0) return reason;
  return kind == LinkKind::Serial ? SerialReason(code) : NetworkReason(code);
}

std::string FailureDetails(LinkKind kind, const LinkError& error) {
  const std::string reason = ExplainedReason(kind, error.code(), error.reason());
  if (reason.empty()) return error.what();
  return std::string(error.what()) + "\n" + reason;
}

}  // namespace veltra
