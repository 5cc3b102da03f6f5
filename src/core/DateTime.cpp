#include "core/DateTime.h"

#include <cmath>
#include <string>

#include "core/Errors.h"

namespace {

// Day number of 1 January of year 1 and of 31 December 9999.
constexpr int64_t kMinDay = -693593;
constexpr int64_t kMaxDay = 2958465;

bool IsLeapYear(int aYear) { return aYear % 4 == 0 && (aYear % 100 != 0 || aYear % 400 == 0); }

int DaysInMonth(int aYear, int aMonth) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return aMonth == 2 && IsLeapYear(aYear) ? 29 : kDays[aMonth - 1];
}

// Days since 1899-12-30 of a proleptic Gregorian date (through days since 1970-01-01).
int64_t DayNumber(int aYear, int aMonth, int aDay) {
  const int64_t y = aYear - (aMonth <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (aMonth + (aMonth > 2 ? -3 : 9)) + 2) / 5 + aDay - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;
}

void CivilFromDayNumber(int64_t aDay, DateTimeParts& aParts) {
  const int64_t z = aDay - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  aParts.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  aParts.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  aParts.Year = static_cast<int>(yoe + era * 400 + (aParts.Month <= 2 ? 1 : 0));
}

// The value in whole milliseconds, halves to even. Beyond this bound the double has no
// millisecond resolution left and the conversion to an integer would overflow.
int64_t RoundToMilliseconds(TDateTime aValue) {
  const double ms = aValue * double(kMSecsPerDay);
  if (!std::isfinite(ms) || std::fabs(ms) > 9.0e18) throw EMxError("Invalid date-time value");
  double whole = std::floor(ms);
  const double diff = ms - whole;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<int64_t>(whole);
}

}  // namespace

bool IsValidDate(int aYear, int aMonth, int aDay) {
  return aYear >= 1 && aYear <= 9999 && aMonth >= 1 && aMonth <= 12 && aDay >= 1 &&
         aDay <= DaysInMonth(aYear, aMonth);
}

bool IsValidTime(int aHour, int aMinute, int aSecond, int aMillisecond) {
  return aHour >= 0 && aHour < 24 && aMinute >= 0 && aMinute < 60 && aSecond >= 0 &&
         aSecond < 60 && aMillisecond >= 0 && aMillisecond < 1000;
}

TDateTime EncodeDate(int aYear, int aMonth, int aDay) {
  if (!IsValidDate(aYear, aMonth, aDay)) throw EMxError("Invalid argument to date encode");
  return static_cast<double>(DayNumber(aYear, aMonth, aDay));
}

TDateTime EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond) {
  if (!IsValidTime(aHour, aMinute, aSecond, aMillisecond))
    throw EMxError("Invalid argument to time encode");
  const int64_t ms = ((aHour * 60LL + aMinute) * 60 + aSecond) * 1000 + aMillisecond;
  return static_cast<double>(ms) / double(kMSecsPerDay);
}

TDateTime EncodeDateTime(const DateTimeParts& aParts) {
  const TDateTime date = EncodeDate(aParts.Year, aParts.Month, aParts.Day);
  const TDateTime time = EncodeTime(aParts.Hour, aParts.Minute, aParts.Second, aParts.Millisecond);
  // Before the zero date the time still counts forward from midnight.
  return date >= 0 ? date + time : date - time;
}

DateTimeParts DecodeDateTime(TDateTime aValue) {
  const int64_t ms = RoundToMilliseconds(aValue);
  const int64_t day = ms / kMSecsPerDay;  // toward zero: the time is a positive fraction
  if (day < kMinDay || day > kMaxDay) throw EMxError("Invalid date-time value");
  DateTimeParts parts;
  CivilFromDayNumber(day, parts);
  int64_t time = (ms < 0 ? -ms : ms) % kMSecsPerDay;
  parts.Millisecond = static_cast<int>(time % 1000);
  time /= 1000;
  parts.Second = static_cast<int>(time % 60);
  time /= 60;
  parts.Minute = static_cast<int>(time % 60);
  parts.Hour = static_cast<int>(time / 60);
  return parts;
}

int32_t TimeOfDayMilliseconds(TDateTime aValue) {
  const int64_t ms = RoundToMilliseconds(aValue);
  return static_cast<int32_t>((ms < 0 ? -ms : ms) % kMSecsPerDay);
}
