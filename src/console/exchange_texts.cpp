#include "console/exchange_texts.h"

namespace veltra {

QString RoundTripText(std::chrono::nanoseconds roundTrip) {
  const double ms = std::chrono::duration<double, std::milli>(roundTrip).count();
  // Rounded as printed, so 9.96 ms reads "10 ms" and not "10.0 ms".
  if (ms < 9.95) return QString::number(ms, 'f', 1) + QStringLiteral(" ms");
  return QString::number(static_cast<long long>(ms + 0.5)) + QStringLiteral(" ms");
}

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

QString RequestFailedText(const QString& reason) { return QStringLiteral("Request failed: ") + reason; }

QString AwaitingReplyText() { return QStringLiteral("Request sent, waiting for the reply"); }

}  // namespace veltra
