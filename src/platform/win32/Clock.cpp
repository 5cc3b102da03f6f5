#include <windows.h>

#include "platform/Platform.h"
#include "platform/SecondCache.h"

namespace platform {

namespace {
constinit SecondCache gLocalSecond;
}

// GetLocalTime converts through the time-zone rules on every call, which under Wine is a
// round trip to the server; the UTC clock is cheap.
DateTimeParts LocalNow() {
  constexpr ULONGLONG kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
  FILETIME utc;
  GetSystemTimeAsFileTime(&utc);
  const ULONGLONG ticks = (ULONGLONG(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
  const ULONGLONG second = ticks / kTicksPerSecond;
  DateTimeParts parts;
  if (!gLocalSecond.Find(static_cast<int64_t>(second), parts)) {
    const ULONGLONG whole = second * kTicksPerSecond;
    FILETIME utcSecond{static_cast<DWORD>(whole), static_cast<DWORD>(whole >> 32)};
    SYSTEMTIME utcParts, local;
    if (!FileTimeToSystemTime(&utcSecond, &utcParts) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &local)) {
      GetLocalTime(&local);
    }
    parts.Year = local.wYear;
    parts.Month = local.wMonth;
    parts.Day = local.wDay;
    parts.Hour = local.wHour;
    parts.Minute = local.wMinute;
    parts.Second = local.wSecond;
    gLocalSecond.Store(static_cast<int64_t>(second), parts);
  }
  parts.Millisecond = static_cast<int>((ticks % kTicksPerSecond) / 10'000);
  return parts;
}

}  // namespace platform
