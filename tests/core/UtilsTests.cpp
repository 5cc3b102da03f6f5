#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/Utils.h"

namespace {

DateTimeParts Parts(int y, int m, int d, int h = 0, int n = 0, int s = 0, int ms = 0) {
  DateTimeParts p;
  p.Year = y; p.Month = m; p.Day = d;
  p.Hour = h; p.Minute = n; p.Second = s; p.Millisecond = ms;
  return p;
}

TEST(ExtractField, SplitsAtTheSeparator) {
  struct Case {
    const char* text;
    int32_t index;
    char separator;
    bool toEnd;
    const char* out;
  };
  const Case cases[] = {
      {"OK;;x", 1, ';', false, "OK"},
      {"OK;;x", 2, ';', false, ""},
      {"OK;;x", 3, ';', false, "x"},
      {"OK;;x", 4, ';', false, ""},
      {"2|2|529|1|700", 5, '|', false, "700"},
      {"2|2|529|1|700", 6, '|', false, ""},
      {"a=b=c", 1, '=', false, "a"},
      {"a=b=c", 2, '=', false, "b"},
      {"a=b=c", 2, '=', true, "b=c"},
      {"a=b=c", 3, '=', true, "c"},
      {"a=b=c", 4, '=', true, ""},
      {"a;b;", 3, ';', false, ""},   // empty last field
      {"a;b;", 3, ';', true, ""},
      {"a;b;", 4, ';', false, ""},
      {"abc", 1, ';', false, "abc"},
      {"abc", 2, ';', false, ""},
      {"", 1, ';', false, ""},
      {"", 0, ';', true, ""},
      {"a;b", 0, ';', false, ""},
      {"a;b", -3, ';', false, ""},
      {"a;b", 0, ';', true, "a;b"},
      {"a;b", -1, ';', true, "a;b"},
      {"a;b", 2147483647, ';', false, ""},
      {"\xC3\xA9;\xC3\xBC;x", 2, ';', false, "\xC3\xBC"},
      {"1-2-3", 2, '-', false, "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " #" << c.index << (c.toEnd ? " to end" : ""));
    EXPECT_EQ(ExtractField(c.text, c.index, c.separator, c.toEnd), c.out);
  }
}

TEST(FormatDateTimeISO, CutsUnitsBelowTheLastShown) {
  const double ms = 1.0 / 86400000.0;
  struct Case {
    double value;
    const char* plain;
    const char* withMs;
  };
  const Case cases[] = {
      {0.0, "1899-12-30T00:00:00", "1899-12-30T00:00:00.000"},
      {EncodeDateTime(Parts(2024, 7, 17, 10, 20, 30, 600)), "2024-07-17T10:20:30",
       "2024-07-17T10:20:30.600"},
      {EncodeDateTime(Parts(2024, 7, 17, 10, 20, 30, 999)) - 0.4 * ms, "2024-07-17T10:20:30",
       "2024-07-17T10:20:30.999"},
      // Taken to the nearest millisecond first, which can carry into the next day.
      {EncodeDateTime(Parts(2024, 12, 31, 23, 59, 59, 999)) + 0.6 * ms, "2025-01-01T00:00:00",
       "2025-01-01T00:00:00.000"},
      {-1.25, "1899-12-29T06:00:00", "1899-12-29T06:00:00.000"},
      {-693593.0, "0001-01-01T00:00:00", "0001-01-01T00:00:00.000"},
      {EncodeDateTime(Parts(9999, 12, 31, 23, 59, 59, 999)), "9999-12-31T23:59:59",
       "9999-12-31T23:59:59.999"},
      {EncodeDateTime(Parts(2024, 2, 29, 7, 5, 3, 7)), "2024-02-29T07:05:03",
       "2024-02-29T07:05:03.007"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.withMs);
    EXPECT_EQ(FormatDateTimeISO(false, c.value), c.plain);
    EXPECT_EQ(FormatDateTimeISO(true, c.value), c.withMs);
  }
}

TEST(ISOToDate, ReadsTheNumberedCharacters) {
  struct Case {
    const char* text;
    DateTimeParts date;
  };
  const Case cases[] = {
      {"2024-07-17", Parts(2024, 7, 17)},
      {"2025/01/31", Parts(2025, 1, 31)},
      {"2024-02-29", Parts(2024, 2, 29)},
      {"2000-02-29", Parts(2000, 2, 29)},
      {"0001-01-01", Parts(1, 1, 1)},
      {"2024-07-17T10:20:30", Parts(2024, 7, 17)},  // the rest is not examined
      {"2024x07y17", Parts(2024, 7, 17)},
      // Characters, not bytes: each ideograph is one character.
      {"2024\xE5\xB9\xB4" "07\xE6\x9C\x88" "17\xE6\x97\xA5", Parts(2024, 7, 17)},
      // A text that ends inside a piece leaves a shorter piece, read as it is.
      {"2024-07-5", Parts(2024, 7, 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(ISOToDate(c.text), EncodeDateTime(c.date));
  }
}

TEST(ISOToDate, RaisesItsOwnMessage) {
  const char* cases[] = {
      "", "2024", "2024-07", "2024-07-", "2024-02-30", "2023-02-29", "1900-02-29",
      "2024-13-01", "2024-00-10", "2024-07-00", "0000-01-01", "abcd-01-01", "2024-0a-01",
      "2024- 7-17", " 2024-07-17", "2024-07-1x", "\xEF\xBC\x92\xEF\xBC\x90\xEF\xBC\x92\xEF\xBC\x94-07-17",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      ISOToDate(text);
      ADD_FAILURE() << "no error";
    } catch (const EMxError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Date Format invalid: [") + text + "]");
    }
  }
}

TEST(ISOToDateTime, ReadsTimeAndOptionalMilliseconds) {
  struct Case {
    const char* text;
    DateTimeParts value;
  };
  const Case cases[] = {
      {"2024-07-17T10:20:30.123", Parts(2024, 7, 17, 10, 20, 30, 123)},
      {"2024-07-17 10:20:30", Parts(2024, 7, 17, 10, 20, 30)},
      {"2024/07/17T10:20:30", Parts(2024, 7, 17, 10, 20, 30)},
      {"2024-07-17T10:20:30.5", Parts(2024, 7, 17, 10, 20, 30, 5)},  // the piece "5"
      {"2024-07-17T10:20:30.12", Parts(2024, 7, 17, 10, 20, 30, 12)},
      {"2024-07-17T10:20:30.1234", Parts(2024, 7, 17, 10, 20, 30, 123)},
      {"2024-07-17T10:20:30.xyz", Parts(2024, 7, 17, 10, 20, 30)},
      {"2024-07-17T10:20:30Z", Parts(2024, 7, 17, 10, 20, 30)},
      {"2024-07-17T10:20:30+02:00", Parts(2024, 7, 17, 10, 20, 30)},  // "02:" is no number
      {"2024-02-29T23:59:59.999", Parts(2024, 2, 29, 23, 59, 59, 999)},
      {"1899-12-29T06:00:00", Parts(1899, 12, 29, 6)},
      {"2025-01-31T09:15:02.007", Parts(2025, 1, 31, 9, 15, 2, 7)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(ISOToDateTime(c.text), EncodeDateTime(c.value));
  }
  EXPECT_DOUBLE_EQ(ISOToDateTime("1899-12-29T06:00:00"), -1.25);
}

TEST(ISOToDateTime, RaisesItsOwnMessage) {
  const char* cases[] = {
      "", "2024-07-17", "2024-07-17T10:20", "2024-07-17T10:20:", "2024-02-30T10:20:30",
      "2024-07-17T24:00:00", "2024-07-17T10:60:00", "2024-07-17T10:20:60",
      "2024-07-17T1a:20:30", "2024-07-17T10:20:3x", "xxxx-07-17T10:20:30",
      "2024-07-17T10:20:30.-01",  // a number, but no valid millisecond
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      ISOToDateTime(text);
      ADD_FAILURE() << "no error";
    } catch (const EMxError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("DateTime Format invalid: [") + text + "]");
    }
  }
}

TEST(ISO, FormattedTextReadsBack) {
  const double value = EncodeDateTime(Parts(2031, 11, 5, 17, 45, 9, 321));
  EXPECT_DOUBLE_EQ(ISOToDateTime(FormatDateTimeISO(true, value)), value);
  EXPECT_DOUBLE_EQ(ISOToDate(FormatDateTimeISO(false, value)), EncodeDate(2031, 11, 5));
}

TEST(MillisecondsOfDay, CountsTheTimeOfDayOnly) {
  EXPECT_EQ(MillisecondsOfDay(EncodeDateTime(Parts(2024, 7, 17, 23, 59, 59, 999))), 86399999);
  EXPECT_EQ(MillisecondsOfDay(EncodeDateTime(Parts(1950, 1, 2, 23, 59, 59, 999))), 86399999);
  EXPECT_EQ(MillisecondsOfDay(0.0), 0);
  EXPECT_EQ(MillisecondsOfDay(45490.5), 43200000);
  EXPECT_EQ(MillisecondsOfDay(-1.25), 21600000);
  EXPECT_EQ(MillisecondsOfDay(EncodeTime(0, 0, 1, 1)), 1001);
}

}  // namespace
