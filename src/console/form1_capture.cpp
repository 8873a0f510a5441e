// The window's capture: every frame that either link carries, kept from the
// start or from the last clearing of the log, and saved as pcap files for
// Wireshark.
#include "console/form1.h"

namespace veltra {

void TForm1::AttachCapture() {
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

}  // namespace veltra
