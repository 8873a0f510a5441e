// The window's capture: every frame that either link carries, kept from the
// start or from the last clearing of the log, and saved as pcap files for
// Wireshark.
#include <QFile>
#include <QFileInfo>

#include "console/dialogs.h"
#include "console/form1.h"

namespace veltra {

void TForm1::AttachCapture() {
  // What the log no longer shows is not saved either.
  connect(this, &TForm1::logCleared, this, [this] { ClearCapture(); });
  udpLink.SetTap(&capture_);
  serialLink->SetTap(&capture_);
  if (options_.networkRequests) options_.networkRequests->SetTap(&capture_);
  if (options_.serialRequests) options_.serialRequests->SetTap(&capture_);
}

void TForm1::DetachCapture() {
  udpLink.SetTap(nullptr);
  serialLink->SetTap(nullptr);
  if (options_.networkRequests) options_.networkRequests->SetTap(nullptr);
  if (options_.serialRequests) options_.serialRequests->SetTap(nullptr);
}

std::vector<std::string> TForm1::WriteCapture(const std::string& path) const { return capture_.Save(path); }

void TForm1::ClearCapture() { capture_.Clear(); }

void TForm1::SaveCaptureClick() {
  const QString path = AskSavePath(QStringLiteral("Save Capture"), QStringLiteral("veltra-capture-%1.pcap"),
                                   QStringLiteral("Captures (*.pcap);;All files (*)"));
  if (path.isEmpty()) return;
  std::vector<std::string> written;
  try {
    written = WriteCapture(QFile::encodeName(path).toStdString());
  } catch (const CaptureError& error) {
    dialogs_->Warning(QStringLiteral("The capture could not be saved."), QString::fromLocal8Bit(error.what()));
    return;
  }
  saveFolder_ = QFileInfo(path).absolutePath();
  // A pcap file holds one link type: the serial line's frames went beside it.
  if (written.size() > 1)
    dialogs_->Message(QStringLiteral("The serial line's frames were saved to %1").arg(QFile::decodeName(written[1].c_str())));
}

}  // namespace veltra
