#pragma once
// The bridge's log on standard error, one line per event, safe from any
// thread. Under systemd (JOURNAL_STREAM set) each line starts with its
// syslog priority ("<3>") for the journal; in a terminal with the time and
// the level.
#include <string>
#include <string_view>

namespace veltra::bridge {

enum class LogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Debug lines (every frame sent and received) are written only when verbose.
void SetVerboseLog(bool verbose);
bool VerboseLog();
void Log(LogLevel level, std::string_view text);

// The line as written, for a given destination; pure, for the tests.
std::string LogLine(LogLevel level, std::string_view text, bool journal, std::string_view time);

}  // namespace veltra::bridge
