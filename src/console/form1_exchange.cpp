// Requests on their way: sent through the exchange controller, what became
// of them in the status bar's second panel and the log, the request buttons
// held while one waits, result fields marked as waiting, and the serial line
// hanging up.
#include <QAction>
#include <QApplication>
#include <QPushButton>

#include "console/bus_scan_dialog.h"
#include "console/exchange_controller.h"
#include "console/exchange_texts.h"
#include "console/form1.h"
#include "serial/comm.h"

namespace veltra {
namespace {

const QString kWaitingMark = QStringLiteral("Waiting for the reply");

}  // namespace

QString TForm1::RequestsHeldBecause() const { return exchanges_->BusyReason(); }

bool TForm1::Ask(PreparedRequest request, ResultHandler apply) {
  const bool network = NetworkSelected();
  Link& link = RequestLink();
  const int timeoutMs = network ? IdUDPClient1.ReceiveTimeout : serialLink->ReceiveTimeout;
  const auto askedAt = std::chrono::steady_clock::now();
  // Exceptions never cross the event loop: the handler's own (a scene table
  // that refuses the record) are shown as a click's are.
  auto done = [this, network, timeoutMs, askedAt, apply](const ExchangeResult& result) {
    RunGuarded([&] {
      ReportResult(result, network, timeoutMs, askedAt);
      if (apply) apply(result);
    });
  };
  bool started = false;
  try {
    started = exchanges_->Start(link, std::move(request), timeoutMs, std::move(done));
  } catch (const std::exception& error) {
    SetExchangeText(RequestFailedText(QString::fromUtf8(error.what()).simplified()));
    // The request is over before it began: its fields are given back. The
    // link's error is the one the operator sees.
    if (apply) {
      ExchangeResult failed;
      failed.outcome = ExchangeOutcome::Failed;
      failed.error = error.what();
      try {
        apply(failed);
      } catch (...) {
      }
    }
    throw;
  }
  if (!started) {
    if (apply) apply(ExchangeResult{});  // held: nothing went; marks are taken back
    return false;
  }
  if (exchanges_->Waiting()) SetExchangeText(AwaitingReplyText());
  return true;
}

void TForm1::ReportResult(const ExchangeResult& result, bool network, int timeoutMs,
                          std::chrono::steady_clock::time_point askedAt) {
  switch (result.outcome) {
    case ExchangeOutcome::Answered:
      LogAnswer(result);
      SetExchangeText(ReplyText(result.roundTrip, result.decoded.statusWord));
      break;
    case ExchangeOutcome::NoReply:
      // Something came from the peer, but nothing the decoder takes.
      if (result.notAFrame)
        SetExchangeText(InvalidReplyText(result.notAFrame->at - askedAt));
      else
        SetExchangeText(NoReplyText(timeoutMs));
      break;
    case ExchangeOutcome::NotSent:
      SetExchangeText(LinkNotOpenText(network));
      break;
    case ExchangeOutcome::Refused:
      SetExchangeText(RequestFailedText(QStringLiteral("the line no longer takes data")));
      break;
    case ExchangeOutcome::Failed:
      SetExchangeText(RequestFailedText(QString::fromStdString(result.error)));
      break;
  }
}

void TForm1::LogAnswer(const ExchangeResult& result) {
  if (!result.decoded.logLine) return;
  QString line = QString::fromStdString(*result.decoded.logLine);
  if (Timestamps->isChecked()) line += QStringLiteral(" (") + RoundTripText(result.roundTrip) + ')';
  AppendLine(std::move(line));
}

void TForm1::ShowRequestsHeld() {
  const QString reason = RequestsHeldBecause();
  const bool held = !reason.isEmpty();
  if (held && !requestsHeld_) {
    QWidget* focus = QApplication::focusWidget();
    const bool onButton =
        std::find(requestButtons_.begin(), requestButtons_.end(), focus) != requestButtons_.end();
    focusBeforeHold_ = onButton ? focus : nullptr;
  }
  for (QPushButton* button : requestButtons_) {
    if (held) {
      const bool saved = std::any_of(heldToolTips_.begin(), heldToolTips_.end(),
                                     [button](const auto& entry) { return entry.first == button; });
      if (!saved) heldToolTips_.emplace_back(button, button->toolTip());
      button->setToolTip(reason);
      button->setEnabled(false);
    } else {
      button->setEnabled(true);
    }
  }
  if (!held) {
    for (const auto& [button, toolTip] : heldToolTips_) button->setToolTip(toolTip);
    heldToolTips_.clear();
  }
  if (held && !requestsHeld_) {
    focusDuringHold_ = QApplication::focusWidget();
  } else if (!held && requestsHeld_) {
    // The keyboard goes back to the button it pressed, unless the operator
    // moved on meanwhile.
    if (focusBeforeHold_ && QApplication::focusWidget() == focusDuringHold_)
      focusBeforeHold_->setFocus(Qt::OtherFocusReason);
    focusBeforeHold_ = nullptr;
    focusDuringHold_ = nullptr;
  }
  requestsHeld_ = held;
  // The scan cannot start while one of the window's requests waits.
  if (BusScanDialog1) BusScanDialog1->SetStartHeld(exchanges_->ScanRunning() ? QString() : reason);
}

void TForm1::MarkWaiting(QWidget* field, bool waiting) {
  // Its value stays; it is shown in italics and says that it waits, also to
  // assistive tools.
  if (field->property("waitingForReply").toBool() == waiting) return;
  field->setProperty("waitingForReply", waiting);
  QFont font = field->font();
  font.setItalic(waiting);
  field->setFont(font);
  field->setToolTip(waiting ? kWaitingMark : QString());
  field->setAccessibleDescription(waiting ? kWaitingMark : QString());
}

void TForm1::HandleSerialHangup() {
  // Closed, or closed and opened again, since the notification was posted.
  if (!serialLink->HungUp() || !serialLink->IsOpen()) return;
  const QString port = QString::fromStdString(Comm1->CommName());
  CloseSerialLink();
  SetExchangeText(SerialDisconnectedText(port));
}

}  // namespace veltra
