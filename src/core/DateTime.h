#pragma once
// Date-time: days since 30 December 1899 as a double, the fraction being the time of
// day, local time. 0 means no date. Negative values keep the time as a positive fraction:
// -1.25 is 29 December 1899, 06:00.
#include <cstdint>

using TDateTime = double;

struct DateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

inline constexpr int64_t kMSecsPerDay = 86'400'000;

// Years 1 to 9999.
bool IsValidDate(int aYear, int aMonth, int aDay);
bool IsValidTime(int aHour, int aMinute, int aSecond, int aMillisecond);
// Throw EMxError on an invalid date or time.
TDateTime EncodeDate(int aYear, int aMonth, int aDay);
TDateTime EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond);
TDateTime EncodeDateTime(const DateTimeParts& aParts);
// Rounds to the nearest millisecond first. Throws EMxError for a value that is not finite
// or lies outside the years 1 to 9999.
DateTimeParts DecodeDateTime(TDateTime aValue);
// Milliseconds since midnight of the value rounded to the nearest millisecond; the date
// part is ignored (it need not be a valid date). Throws EMxError for a non-finite value.
int32_t TimeOfDayMilliseconds(TDateTime aValue);
