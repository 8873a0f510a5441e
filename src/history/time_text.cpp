#include "history/time_text.h"

#include <cstdio>
#include <ctime>
#include <regex>

namespace veltra::history {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

// Local time to microseconds; nothing for a date that does not exist.
std::optional<std::int64_t> Local(int year, int month, int day, int hour, int minute, int second, int micros) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == -1 || tm.tm_mday != day) return std::nullopt;  // 31 April rolls over
  return static_cast<std::int64_t>(t) * kSecond + micros;
}

int Micros(const std::string& fraction) {
  if (fraction.empty()) return 0;
  std::string digits = fraction.substr(0, 6);
  digits.resize(6, '0');
  return std::stoi(digits);
}

}  // namespace

std::optional<std::int64_t> ParseTimeText(const std::string& text, std::int64_t nowUs) {
  static const std::regex kRelative(R"(-(\d{1,9})([smhd]))");
  static const std::regex kDateTime(R"((\d{4})-(\d\d)-(\d\d)(?:[ T](\d\d):(\d\d)(?::(\d\d)(?:\.(\d{1,9}))?)?)?)");
  static const std::regex kTime(R"((\d\d):(\d\d)(?::(\d\d)(?:\.(\d{1,9}))?)?)");
  std::smatch m;
  if (text == "now") return nowUs;
  if (std::regex_match(text, m, kRelative)) {
    const std::int64_t n = std::stoll(m[1]);
    const std::int64_t unit = m[2] == "s" ? 1 : m[2] == "m" ? 60 : m[2] == "h" ? 3600 : 86400;
    return nowUs - n * unit * kSecond;
  }
  if (std::regex_match(text, m, kDateTime)) {
    auto number = [&m](int i) { return m[i].matched ? std::stoi(m[i]) : 0; };
    return Local(number(1), number(2), number(3), number(4), number(5), number(6), Micros(m[7]));
  }
  if (std::regex_match(text, m, kTime)) {
    const std::time_t now = static_cast<std::time_t>(nowUs / kSecond);
    std::tm today{};
    ::localtime_r(&now, &today);
    auto number = [&m](int i) { return m[i].matched ? std::stoi(m[i]) : 0; };
    return Local(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, number(1), number(2), number(3), Micros(m[4]));
  }
  return std::nullopt;
}

}  // namespace veltra::history
