// The cause of a failed open, in words an operator can act on.
#include <gtest/gtest.h>

#include <cerrno>

#include "link/failure_details.h"

namespace veltra {
namespace {

TEST(FailureDetails, SystemReasonWithTheHintThatHelps) {
  EXPECT_EQ(ExplainedReason(LinkKind::Serial, EACCES, "open: Permission denied"),
            "Permission denied: add your user to the dialout group");
  // The lock of another program and the terminal's exclusive mode read alike.
  EXPECT_EQ(ExplainedReason(LinkKind::Serial, EWOULDBLOCK, {}),
            ExplainedReason(LinkKind::Serial, EBUSY, {}));
  EXPECT_EQ(ExplainedReason(LinkKind::Serial, EBUSY, {}), "Device or resource busy: another program holds the port");
  EXPECT_EQ(ExplainedReason(LinkKind::Network, EADDRINUSE, {}), "Address already in use");
  EXPECT_EQ(ExplainedReason(LinkKind::Network, ECONNREFUSED, {}),
            "Connection refused: nothing listens there; check the bus switch's address and port");
  // The name service's own codes are negative: its text is kept.
  EXPECT_EQ(ExplainedReason(LinkKind::Network, -2, "Name or service not known"), "Name or service not known");

  EXPECT_EQ(FailureDetails(LinkKind::Serial, LinkError("Error opening serial port", "/dev/ttyUSB0: x", EACCES)),
            "Error opening serial port\nPermission denied: add your user to the dialout group");
  EXPECT_EQ(FailureDetails(LinkKind::Network, LinkError("Could not bind socket.")), "Could not bind socket.");
}

}  // namespace
}  // namespace veltra
