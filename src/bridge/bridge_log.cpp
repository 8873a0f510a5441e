#include "bridge/bridge_log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace veltra::bridge {
namespace {

std::atomic<bool> verbose{false};
std::mutex writing;

std::string_view LevelWord(LogLevel level) {
  switch (level) {
    case LogLevel::Error: return "error: ";
    case LogLevel::Warning: return "warning: ";
    case LogLevel::Debug: return "debug: ";
    default: return "";
  }
}

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ms));
  return text;
}

}  // namespace

void SetVerboseLog(bool on) { verbose = on; }
bool VerboseLog() { return verbose; }

std::string LogLine(LogLevel level, std::string_view text, bool journal, std::string_view time) {
  std::string line;
  if (journal) {
    line += '<';
    line += std::to_string(static_cast<int>(level));
    line += '>';
  } else {
    line += time;
    line += ' ';
  }
  line += LevelWord(level);
  line += text;
  line += '\n';
  return line;
}

void Log(LogLevel level, std::string_view text) {
  if (level == LogLevel::Debug && !verbose) return;
  static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
  const std::string line = LogLine(level, text, journal, journal ? std::string() : Now());
  std::lock_guard lock(writing);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace veltra::bridge
