#include "console/exchange_texts.h"

#include <cerrno>
#include <cstring>

#include "protocol/log_format.h"

namespace veltra {

QString RoundTripText(std::chrono::nanoseconds roundTrip) { return QString::fromStdString(FormatRoundTrip(roundTrip)); }

QString ReplyText(std::chrono::nanoseconds roundTrip, const std::string& statusWord) {
  QString text = QStringLiteral("Reply in ") + RoundTripText(roundTrip);
  if (statusWord != "OK!") text += QStringLiteral(": ") + QString::fromStdString(statusWord);
  return text;
}

QString InvalidReplyText(std::chrono::nanoseconds roundTrip) {
  return QStringLiteral("Reply in ") + RoundTripText(roundTrip) + QStringLiteral(": not a valid frame, dropped");
}

QString NoReplyText(int timeoutMs) { return QStringLiteral("No reply within %1 ms").arg(timeoutMs); }

QString LinkNotOpenText(bool network) {
  return (network ? QStringLiteral("TCP/IP") : QStringLiteral("Com")) +
         QStringLiteral(" link is not open: request not sent");
}

QString SerialDisconnectedText(const QString& port) { return QStringLiteral("Serial device disconnected: ") + port; }

QString SerialWaitingText(const QString& port) {
  return SerialDisconnectedText(port) + QStringLiteral(": waiting for it to return");
}

QString SerialReconnectedText(const QString& port) { return QStringLiteral("Serial device reconnected: ") + port; }

QString LinkDownText() { return QStringLiteral("Com link is down: request not sent"); }

QString ConnectionRefusedText(const std::string& linkError) {
  QString text = QString::fromStdString(linkError);
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

QString BusSwitchSilentText(const QString& peer, int requests) {
  return QStringLiteral("Bus switch at %1 is not answering (%2 requests without reply)").arg(peer).arg(requests);
}

QString RequestFailedText(const QString& reason) { return QStringLiteral("Request failed: ") + reason; }

QString AwaitingReplyText() { return QStringLiteral("Request sent, waiting for the reply"); }

QString OpenFailureText(LinkKind kind, const LinkError& error, int localPort) {
  if (kind == LinkKind::Network && error.code() == EADDRINUSE)
    return QStringLiteral("%1: local port %2 is taken by another program")
        .arg(QString::fromLocal8Bit(std::strerror(EADDRINUSE)))
        .arg(localPort);
  return QString::fromStdString(FailureDetails(kind, error));
}

}  // namespace veltra
