// The two links: which one a request takes, the monitor log the send path
// writes, the serial reader's chunks, and the "Create"/"Close" buttons of the
// serial and UDP rows. Every opening, closing and re-pointing of a link is
// told to the exchanges, which then watch what the link has now.
#include "console/form1.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <chrono>
#include <exception>

#include "console/dialogs.h"
#include "console/exchange_texts.h"
#include "console/form1_builders.h"
#include "console/spin_edit.h"
#include "console/exchange_controller.h"
#include "link/failure_details.h"
#include "protocol/int_conversion.h"
#include "protocol/transmit_buffer.h"
#include "serial/comm.h"
#include "serial/line_settings.h"

namespace veltra {

using form1::kClose;
using form1::kCreate;

bool TForm1::NetworkSelected() const { return RadioButton1->isChecked(); }

bool TForm1::LogMasked() const { return chk1->isChecked(); }

void TForm1::AppendLog(const std::string& utf8Line) { AppendLine(QString::fromUtf8(utf8Line)); }

void TForm1::AppendLine(QString line) {
  // Stamped when the line is made, not when it reaches the log.
  if (Timestamps->isChecked()) line.prepend(logStamp_.Now());
  pendingLog_.append(std::move(line));
  if (pendingLog_.size() == 1) QMetaObject::invokeMethod(this, &TForm1::FlushLog, Qt::QueuedConnection);
}

void TForm1::FlushLog() {
  if (pendingLog_.isEmpty()) return;
  QStringList lines;
  lines.swap(pendingLog_);
  // Follow the end of the log only when the operator has not scrolled away.
  QScrollBar* bar = Memo1->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  QTextDocument* log = Memo1->document();
  QTextCursor cursor(log);
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const QString& line : lines) {
    if (!log->isEmpty()) cursor.insertBlock();
    cursor.insertText(line);
  }
  cursor.endEditBlock();
  if (atEnd) bar->setValue(bar->maximum());
}

Link& TForm1::RequestLink() {
  if (NetworkSelected()) {
    if (options_.networkRequests) return *options_.networkRequests;
    // The UDP client would make itself a socket for the request; a link the
    // operator has not opened sends nothing.
    return udpLink.IsOpen() ? static_cast<Link&>(udpLink) : closedNetwork_;
  }
  return options_.serialRequests ? *options_.serialRequests : *serialLink;
}

void TForm1::Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length) {
  Comm1->OnReceiveData(*Comm1, buffer, length);
}

void TForm1::ApplyListeningForm() {
  const FrameForm form = CheckBox13->isChecked() ? FrameForm::Routed : FrameForm::Direct;
  serialLink->SetFraming(form);
  exchanges_->ExchangeOn(*serialLink).listenForm = form;
  if (options_.serialRequests) exchanges_->ExchangeOn(*options_.serialRequests).listenForm = form;
  // The bus switch speaks the routed form.
  exchanges_->ExchangeOn(udpLink).listenForm = FrameForm::Routed;
  if (options_.networkRequests) exchanges_->ExchangeOn(*options_.networkRequests).listenForm = FrameForm::Routed;
}

void TForm1::SetUdpRowEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{Edit3, Edit4, Edit5, Edit6, SpinEdit7, RadioButton1})
    w->setEnabled(enabled);
}

void TForm1::SetSerialRowEnabled(bool enabled) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{ComboBox1, ComboBox2, ComboBox3, ComboBox4, ComboBox5, RadioButton2})
    w->setEnabled(enabled);
}

void TForm1::Button10Click() {
  const QString caption = Button10->text();
  if (caption == kCreate) {
    Comm1->SetCommName(ComboBox5->currentText().toStdString());
    Comm1->SetBaudRate(static_cast<std::uint32_t>(StrToInt(ComboBox1->currentText().toStdString())));
    // By list position; the parity list is alphabetical, not in the order
    // of TParity. No selection leaves a property as it was.
    constexpr TByteSize kByteSizes[] = {TByteSize::_5, TByteSize::_6, TByteSize::_7, TByteSize::_8};
    constexpr TParity kParities[] = {TParity::Even, TParity::Mark, TParity::None, TParity::Odd, TParity::Space};
    constexpr TStopBits kStopBits[] = {TStopBits::_1, TStopBits::_1_5, TStopBits::_2};
    const int byteSize = ComboBox2->currentIndex();
    if (byteSize >= 0 && byteSize < 4) Comm1->SetByteSize(kByteSizes[byteSize]);
    const int parity = ComboBox3->currentIndex();
    if (parity >= 0 && parity < 5) Comm1->SetParity(kParities[parity]);
    const int stopBits = ComboBox4->currentIndex();
    if (stopBits >= 0 && stopBits < 3) Comm1->SetStopBits(kStopBits[stopBits]);
    // Replies are framed by their Length inside the link: the reader hands
    // bytes over as they come.
    ApplyListeningForm();
    try {
      serialLink->Open();
      exchanges_->LinkChanged(*serialLink);
      SetStatusText(QStringLiteral("Com is running!"));
      Button10->setText(kClose);
      SetSerialRowEnabled(false);
    } catch (...) {
      ShowOpenFailure(LinkKind::Serial);
    }
  } else if (caption == kClose) {
    try {
      CloseSerialLink();
    } catch (...) {
      dialogs_->Message(QStringLiteral("Error!"));
    }
  }
}

void TForm1::CloseSerialLink() {
  serialLink->Close();
  // A request still waiting there ends now.
  exchanges_->LinkChanged(*serialLink);
  SetStatusText(QString());
  Button10->setText(kCreate);
  SetSerialRowEnabled(true);
}

void TForm1::ShowOpenFailure(LinkKind kind) {
  // Called from a catch block: the error being handled says why.
  QString details;
  try {
    throw;
  } catch (const LinkError& error) {
    details = QString::fromStdString(FailureDetails(kind, error));
  } catch (const std::exception& error) {
    details = QString::fromUtf8(error.what());
  } catch (...) {
  }
  dialogs_->Warning(QStringLiteral("Error!"), details);
}

void TForm1::PointUdpClient(const std::string& host) {
  udpLink.Close();
  try {
    // Host and Port keep what was assigned when a field does not convert.
    IdUDPClient1.Host = host;
    IdUDPClient1.Port = StrToInt(Edit5->text().toStdString());
    udpLink.Open(host, IdUDPClient1.Port, StrToInt(Edit6->text().toStdString()));
  } catch (...) {
    exchanges_->LinkChanged(udpLink);
    throw;
  }
  exchanges_->LinkChanged(udpLink);
}

void TForm1::Button32Click() {
  const QString caption = Button32->text();
  if (caption == kCreate) {
    try {
      // A socket left behind by an earlier request or by the bus switch
      // "Read" would make the bind fail; the link starts from a fresh one.
      PointUdpClient(Edit4->text().toStdString());
      Button32->setText(kClose);
      SetUdpRowEnabled(false);
      SetStatusText(QStringLiteral("UDP is running!"));
    } catch (...) {
      udpLink.Close();
      exchanges_->LinkChanged(udpLink);
      ShowOpenFailure(LinkKind::Network);
    }
  } else if (caption == kClose) {
    SetStatusText(QString());
    udpLink.Close();
    exchanges_->LinkChanged(udpLink);
    Button32->setText(kCreate);
    SetUdpRowEnabled(true);
  }
}

}  // namespace veltra
