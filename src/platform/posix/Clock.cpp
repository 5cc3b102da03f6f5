#include <time.h>

#include "platform/Platform.h"

namespace platform {

// localtime_r takes a process-wide lock and walks the zone rules on every call; the log
// writer stamps every line, so each thread keeps the broken-down time of the last second
// it converted and only adds the milliseconds within that second.
DateTimeParts LocalNow() {
  struct Cache {
    time_t second = -1;
    DateTimeParts parts;
  };
  thread_local Cache cache;

  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec != cache.second) {
    tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr) return DateTimeParts{};
    cache.parts.Year = local.tm_year + 1900;
    cache.parts.Month = local.tm_mon + 1;
    cache.parts.Day = local.tm_mday;
    cache.parts.Hour = local.tm_hour;
    cache.parts.Minute = local.tm_min;
    // A leap second shows as the last second of its minute.
    cache.parts.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    cache.second = now.tv_sec;
  }
  DateTimeParts parts = cache.parts;
  parts.Millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
  return parts;
}

}  // namespace platform
