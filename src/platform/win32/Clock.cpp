#include <windows.h>

#include "platform/Platform.h"

namespace platform {

// GetLocalTime converts through the time-zone rules on every call, which under Wine is a
// round trip to the server. The UTC clock is cheap, so each thread keeps the local
// broken-down time of the last UTC second it converted and only adds the milliseconds.
DateTimeParts LocalNow() {
  constexpr ULONGLONG kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
  struct Cache {
    ULONGLONG second = ~0ULL;
    DateTimeParts parts;
  };
  thread_local Cache cache;

  FILETIME utc;
  GetSystemTimeAsFileTime(&utc);
  const ULONGLONG ticks = (ULONGLONG(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
  const ULONGLONG second = ticks / kTicksPerSecond;
  if (second != cache.second) {
    const ULONGLONG whole = second * kTicksPerSecond;
    FILETIME utcSecond{static_cast<DWORD>(whole), static_cast<DWORD>(whole >> 32)};
    SYSTEMTIME utcParts, local;
    if (!FileTimeToSystemTime(&utcSecond, &utcParts) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &local)) {
      GetLocalTime(&local);
    }
    cache.parts.Year = local.wYear;
    cache.parts.Month = local.wMonth;
    cache.parts.Day = local.wDay;
    cache.parts.Hour = local.wHour;
    cache.parts.Minute = local.wMinute;
    cache.parts.Second = local.wSecond;
    cache.second = second;
  }
  DateTimeParts parts = cache.parts;
  parts.Millisecond = static_cast<int>((ticks % kTicksPerSecond) / 10'000);
  return parts;
}

}  // namespace platform
