#pragma once
// Why a link could not be opened, in words an operator can act on: the
// component's own message, then the system's reason with what usually helps
// ("Permission denied: add your user to the dialout group").
#include <string>

#include "link/link.h"

namespace veltra {

enum class LinkKind { Serial, Network };

// The system's description of error `code` with a hint where one is known
// for this kind of link. Without a code the reason is returned as it is.
std::string ExplainedReason(LinkKind kind, int code, const std::string& reason);

// The error's message and, on a second line, its explained reason (when it
// has one).
std::string FailureDetails(LinkKind kind, const LinkError& error);

}  // namespace veltra
