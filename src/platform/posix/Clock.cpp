#include <time.h>

#include "platform/Platform.h"
#include "platform/SecondCache.h"

namespace platform {

namespace {
constinit SecondCache gLocalSecond;
}

DateTimeParts LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  DateTimeParts parts;
  if (!gLocalSecond.Find(now.tv_sec, parts)) {
    tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr) return DateTimeParts{};
    parts.Year = local.tm_year + 1900;
    parts.Month = local.tm_mon + 1;
    parts.Day = local.tm_mday;
    parts.Hour = local.tm_hour;
    parts.Minute = local.tm_min;
    // A leap second shows as the last second of its minute.
    parts.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    gLocalSecond.Store(now.tv_sec, parts);
  }
  parts.Millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
  return parts;
}

}  // namespace platform
