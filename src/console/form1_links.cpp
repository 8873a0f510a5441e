// The two links: which one a request takes, the monitor log the send path
// writes, the serial reader's chunks, and the "Create"/"Close" buttons of the
// serial and UDP rows.
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
#include "console/timed_frame_assembler.h"
#include "link/failure_details.h"
#include "protocol/int_conversion.h"
#include "protocol/transmit_buffer.h"
#include "serial/comm.h"
#include "serial/line_settings.h"

namespace veltra {

namespace {

// Three character times at the port's line settings, in whole milliseconds
// (at least one): short enough that a reply reaches the window about as soon
// as its last byte, long enough that a reply arriving without pauses comes
// in one chunk.
std::uint32_t ReplyReadInterval(const TComm& comm) {
  const auto character = CharacterTime(comm.BaudRate(), comm.ByteSize(), comm.Parity(), comm.StopBits());
  const auto interval = std::chrono::round<std::chrono::milliseconds>(3 * character).count();
  return static_cast<std::uint32_t>(std::max<long long>(1, interval));
}

}  // namespace

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

void TForm1::Send() {
  // Only the network link waits for its reply; serial replies come as the
  // reader delivers them.
  const bool network = NetworkSelected();
  SendResult result;
  try {
    result = SendDataDeal(ProcessTransmitBuffer(), RequestLink(), *this, network);
  } catch (const std::exception& error) {
    serialRequestAt_.reset();
    SetExchangeText(RequestFailedText(QString::fromUtf8(error.what()).simplified()));
    throw;
  }
  ReportRequest(result, network);
}

void TForm1::ReceiveDeal(const std::string& bytes) {
  ApplyReply(DecodeRouted(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), LogMasked()));
}

void TForm1::Comm1ReceiveData(const std::uint8_t* buffer, std::uint16_t length) {
  serialFrames_->Feed(CheckBox13->isChecked() ? FrameForm::Routed : FrameForm::Direct, buffer, length);
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
    // Replies are framed by their Length, not by gaps on the line: the
    // reader hands bytes over after a pause of a few characters, not 100 ms.
    Comm1->SetReadIntervalTimeout(ReplyReadInterval(*Comm1));
    serialFrames_->Clear();
    try {
      serialLink->Open();
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
  serialRequestAt_.reset();
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
  // Host and Port keep what was assigned when a field does not convert.
  IdUDPClient1.Host = host;
  IdUDPClient1.Port = StrToInt(Edit5->text().toStdString());
  udpLink.Open(host, IdUDPClient1.Port, StrToInt(Edit6->text().toStdString()));
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
      ShowOpenFailure(LinkKind::Network);
    }
  } else if (caption == kClose) {
    SetStatusText(QString());
    udpLink.Close();
    Button32->setText(kCreate);
    SetUdpRowEnabled(true);
  }
}

}  // namespace veltra
