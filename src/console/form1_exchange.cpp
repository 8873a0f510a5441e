// The status bar's second panel: what became of the last request (its round
// trip, no reply, a link that is not open), and the serial line hanging up.
#include <QPushButton>
#include <QTimer>

#include "console/exchange_texts.h"
#include "console/form1.h"
#include "console/timed_frame_assembler.h"
#include "serial/comm.h"

namespace veltra {

void TForm1::ReportRequest(const SendResult& result, bool network) {
  // A reply that comes later on the serial line no longer answers the last
  // request unless that request was sent there.
  serialRequestAt_.reset();
  serialReplyOverdue_->stop();
  switch (result.outcome) {
    case SendOutcome::NotSent:
      SetExchangeText(LinkNotOpenText(network));
      break;
    case SendOutcome::Sent:
      serialRequestAt_ = result.sentAt;
      serialReplyOverdue_->start(serialLink->ReceiveTimeout);
      SetExchangeText(AwaitingReplyText());
      break;
    case SendOutcome::NoReply:
      SetExchangeText(NoReplyText(IdUDPClient1.ReceiveTimeout));
      break;
    case SendOutcome::Replied:
      ApplyReply(DecodeRouted(result.reply->data(), result.reply->size(), LogMasked()), result.roundTrip);
      break;
  }
}

std::optional<std::chrono::nanoseconds> TForm1::TakeSerialRoundTrip() {
  if (!serialRequestAt_) return std::nullopt;
  const auto roundTrip = std::chrono::steady_clock::now() - *serialRequestAt_;
  serialRequestAt_.reset();
  serialReplyOverdue_->stop();
  return roundTrip;
}

void TForm1::HandleSerialHangup() {
  // Closed, or closed and opened again, since the notification was posted.
  if (!serialLink->HungUp() || !serialLink->IsOpen()) return;
  const QString port = QString::fromStdString(Comm1->CommName());
  serialFrames_->Clear();
  CloseSerialLink();
  SetExchangeText(SerialDisconnectedText(port));
}

}  // namespace veltra
