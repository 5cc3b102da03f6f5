#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/DateTime.h"
#include "core/Errors.h"

namespace {

DateTimeParts Parts(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  DateTimeParts p;
  p.Year = y; p.Month = m; p.Day = d;
  p.Hour = h; p.Minute = n; p.Second = s; p.Millisecond = ms;
  return p;
}

void ExpectParts(const DateTimeParts& a, const DateTimeParts& b) {
  EXPECT_EQ(a.Year, b.Year);
  EXPECT_EQ(a.Month, b.Month);
  EXPECT_EQ(a.Day, b.Day);
  EXPECT_EQ(a.Hour, b.Hour);
  EXPECT_EQ(a.Minute, b.Minute);
  EXPECT_EQ(a.Second, b.Second);
  EXPECT_EQ(a.Millisecond, b.Millisecond);
}

TEST(DateTime, EncodesDaysSinceTheZeroDate) {
  struct Case {
    DateTimeParts parts;
    double value;
  };
  const Case cases[] = {
      {Parts(1899, 12, 30), 0.0},
      {Parts(1899, 12, 30, 12), 0.5},
      {Parts(1900, 1, 1), 2.0},
      {Parts(2000, 2, 29), 36585.0},
      {Parts(2024, 7, 17, 6), 45490.25},
      {Parts(1899, 12, 29, 6), -1.25},  // the time counts forward from midnight
      {Parts(1899, 12, 29, 18), -1.75},
      {Parts(1, 1, 1), -693593.0},
      {Parts(9999, 12, 31), 2958465.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_DOUBLE_EQ(EncodeDateTime(c.parts), c.value);
    ExpectParts(DecodeDateTime(c.value), c.parts);
  }
}

TEST(DateTime, ValidatesCalendarAndClock) {
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_FALSE(IsValidDate(1900, 2, 29));
  EXPECT_FALSE(IsValidDate(2024, 2, 30));
  EXPECT_FALSE(IsValidDate(2024, 4, 31));
  EXPECT_FALSE(IsValidDate(2024, 13, 1));
  EXPECT_FALSE(IsValidDate(2024, 0, 1));
  EXPECT_FALSE(IsValidDate(2024, 1, 0));
  EXPECT_FALSE(IsValidDate(0, 1, 1));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
  EXPECT_TRUE(IsValidTime(23, 59, 59, 999));
  EXPECT_FALSE(IsValidTime(24, 0, 0, 0));
  EXPECT_FALSE(IsValidTime(0, 60, 0, 0));
  EXPECT_FALSE(IsValidTime(0, 0, 60, 0));
  EXPECT_FALSE(IsValidTime(0, 0, 0, 1000));
  EXPECT_FALSE(IsValidTime(0, 0, 0, -1));

  EXPECT_THROW(EncodeDate(2024, 2, 30), EMxError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EMxError);
  EXPECT_THROW(EncodeDateTime(Parts(2024, 7, 17, 10, 61)), EMxError);
}

TEST(DateTime, RoundTripsEveryPartWithMilliseconds) {
  // Dates across the whole range, each with a time that uses every field.
  for (int year : {1, 4, 100, 1600, 1899, 1900, 1970, 2000, 2024, 2100, 9999}) {
    for (int month : {1, 2, 3, 12}) {
      for (int day : {1, 28}) {
        for (const DateTimeParts& time :
             {Parts(0, 0, 0, 0, 0, 0, 1), Parts(0, 0, 0, 13, 7, 42, 567),
              Parts(0, 0, 0, 23, 59, 59, 999)}) {
          DateTimeParts p = time;
          p.Year = year; p.Month = month; p.Day = day;
          SCOPED_TRACE(testing::Message() << year << "-" << month << "-" << day);
          ExpectParts(DecodeDateTime(EncodeDateTime(p)), p);
        }
      }
    }
  }
}

TEST(DateTime, DecodeRoundsToTheNearestMillisecond) {
  const double ms = 1.0 / 86400000.0;
  const double lastMs = EncodeDateTime(Parts(2024, 7, 17, 23, 59, 59, 999));
  ExpectParts(DecodeDateTime(lastMs + 0.6 * ms), Parts(2024, 7, 18));
  ExpectParts(DecodeDateTime(lastMs + 0.4 * ms), Parts(2024, 7, 17, 23, 59, 59, 999));
  // Below the zero date the rounded time still counts from midnight of its day.
  ExpectParts(DecodeDateTime(-1.25 - 0.4 * ms), Parts(1899, 12, 29, 6));
  ExpectParts(DecodeDateTime(-0.5), Parts(1899, 12, 30, 12));
  EXPECT_EQ(TimeOfDayMilliseconds(lastMs + 0.6 * ms), 0);
}

TEST(DateTime, RefusesValuesOutsideTheCalendar) {
  const double cases[] = {
      std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(), 1e300, 2958466.0, -693594.0};
  for (double v : cases) {
    SCOPED_TRACE(v);
    EXPECT_THROW(DecodeDateTime(v), EMxError);
  }
  EXPECT_THROW(TimeOfDayMilliseconds(std::numeric_limits<double>::quiet_NaN()), EMxError);
}

}  // namespace
