#pragma once
// "Communication Data": the monitor log. Read-only and selectable: the
// operator reads, selects and copies lines, but cannot type into it, so
// "Save Log…" saves only what crossed the links; Tab and Shift+Tab move on
// to the next control. Long lines wrap. Lines are put in when the window
// gets back to its event loop (all waiting lines in one edit), so a request
// is on its way without waiting for the text layout.
#include <QPlainTextEdit>
#include <QStringList>

#include "console/log_stamp.h"

namespace veltra {

class MonitorLog : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit MonitorLog(QWidget* parent = nullptr);

  // One line, stamped now with the local time when "Timestamps" is on.
  void Append(QString line);
  // The waiting lines go in at once.
  void Flush();
  // The log as "Save Log…" writes it: one line per entry, each ended by a
  // line feed.
  QString Contents();
  // Empties the log, also of the lines still waiting.
  void Clear();
  void SetTimestamps(bool on) { timestamps_ = on; }

 private:
  QStringList pending_;
  LogStamp stamp_;
  bool timestamps_ = false;
};

}  // namespace veltra
