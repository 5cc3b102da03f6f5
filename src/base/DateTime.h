#pragma once
// Date-time: days since 30 December 1899 as a double, the fraction being the time of
// day, local time. 0 means no date. Negative values keep the time as a positive fraction.
#include <cstdint>

using TDateTime = double;

struct DateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

bool IsValidDate(int aYear, int aMonth, int aDay);
bool IsValidTime(int aHour, int aMinute, int aSecond, int aMillisecond);
// Throw EMxError on an invalid date or time.
TDateTime EncodeDate(int aYear, int aMonth, int aDay);
TDateTime EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond);
TDateTime EncodeDateTime(const DateTimeParts& aParts);
// Rounds to the nearest millisecond first.
DateTimeParts DecodeDateTime(TDateTime aValue);

// The local clock, with milliseconds.
TDateTime Now();
