#include "console/log_stamp.h"

#include <QDateTime>
#include <cstdio>

namespace veltra {

QString LogStamp::At(Clock::time_point now) {
  using namespace std::chrono;
  if (!valid_ || now < minuteStart_ || now >= minuteStart_ + minutes(1)) {
    const auto sinceEpoch = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(sinceEpoch);
    const QTime time = local.time();
    minuteStart_ = now - milliseconds(time.second() * 1000 + time.msec());
    std::snprintf(hourMinute_, sizeof hourMinute_, "%02u:%02u", static_cast<unsigned>(time.hour()) % 24u,
                  static_cast<unsigned>(time.minute()) % 60u);
    valid_ = true;
  }
  const auto into = duration_cast<milliseconds>(now - minuteStart_).count();
  char text[16];
  std::snprintf(text, sizeof text, "%s:%02u.%03u ", hourMinute_, static_cast<unsigned>(into / 1000 % 60),
                static_cast<unsigned>(into % 1000));
  return QString::fromLatin1(text);
}

}  // namespace veltra
