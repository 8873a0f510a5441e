#pragma once
// What the status bar's second panel says about the last request, and how a
// round trip is written there and in the log.
#include <QString>
#include <chrono>
#include <string>

#include "link/failure_details.h"

namespace veltra {

// "N ms": one decimal below 10 ms (loopback and fast lines), whole
// milliseconds above.
QString RoundTripText(std::chrono::nanoseconds roundTrip);
// "Reply in N ms", with ": <status word>" when the reply did not say "OK!".
QString ReplyText(std::chrono::nanoseconds roundTrip, const std::string& statusWord);
// A datagram came back that the decoder dropped (header, checksum, length).
QString InvalidReplyText(std::chrono::nanoseconds roundTrip);
QString NoReplyText(int timeoutMs);
// "<Com|TCP/IP> link is not open: request not sent".
QString LinkNotOpenText(bool network);
QString SerialDisconnectedText(const QString& port);
// The adapter went and the link waits for it: "Serial device disconnected:
// <port>: waiting for it to return".
QString SerialWaitingText(const QString& port);
QString SerialReconnectedText(const QString& port);
// A request while the serial link waits for its device.
QString LinkDownText();
// A datagram found nothing listening: "Connection refused by <ip>:<port>",
// from the link's "connection refused by <ip>:<port>".
QString ConnectionRefusedText(const std::string& linkError);
// Requests in a row that the bus switch left without reply.
QString BusSwitchSilentText(const QString& peer, int requests);
QString RequestFailedText(const QString& reason);
// Shown while a serial request waits for its reply.
QString AwaitingReplyText();
// Why a link could not be opened, in words an operator can act on; a local
// port that another program holds is named ("Address already in use: local
// port 2002 is taken by another program").
QString OpenFailureText(LinkKind kind, const LinkError& error, int localPort);

}  // namespace veltra
