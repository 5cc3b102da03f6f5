#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/Currency.h"
#include "support/ErrorOf.h"

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(Currency, ParsesExactlyAndRoundsHalvesToEven) {
  struct Case {
    const char* text;
    int64_t raw;
  };
  const Case cases[] = {
      {"0", 0},
      {"12.5", 125000},
      {"  12.5  ", 125000},
      {"+1", 10000},
      {"-1", -10000},
      {"-0", 0},
      {".5", 5000},
      {"5.", 50000},
      {"000000000000000000000000000012.5", 125000},
      {"12.50000000000000000000000000000", 125000},
      {"1.23456", 12346},
      {"0.00015", 2},
      {"0.00005", 0},
      {"0.000250", 2},
      {"0.00035", 4},
      {"0.000250000001", 3},   // just above the half
      {"0.000149999999", 1},   // just below the half
      {"-0.00015", -2},
      {"-0.00005", 0},
      {"0.1", 1000},           // no binary approximation on the way
      {"1e2", 1000000},
      {"1E+2", 1000000},
      {"1.5e-3", 15},
      {"15e-5", 2},
      {"25e-5", 2},
      {"125e-6", 1},
      {"-2.5E-4", -2},
      {"1e14", 1000000000000000000},
      {"1e-999999999", 0},
      {"1e-99999999999999999999999999", 0},
      {"0e999999999", 0},
      {"0.0000e99999999999999999999", 0},
      {"1000000000000000000000000e-20", 100000000},
      {"1234567890123456789012345e-20", 123456789},
      {"922337203685477.5807", kMax},
      {"922337203685477.58065", kMax - 1},     // half, even neighbour kept
      {"-922337203685477.5808", kMin},
      {"-922337203685477.58085", kMin},        // half, 2^63 is even
      {"92233720368547.75807e1", kMax},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto value = Currency::Parse(c.text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->Raw(), c.raw);
  }
}

TEST(Currency, RejectsMalformedAndOverflowingText) {
  const char* cases[] = {
      "", " ", "1,50", "1,234.50", "abc", ".", "-", "+", "+-1", "--1", "1..2", "1.2.3",
      "1 2", "1 e5", "\t1", "1\t", "1\n", "0x10", "$10", "1e", "1e+", "1e-", "e5", ".e5",
      "1e1.5", "1e5x", "INF", "NaN", "1,5e2",
      "1e999999999",
      "1e15",                     // 10^19 ten-thousandths
      "922337203685477.5808",
      "-922337203685477.5809",
      "922337203685477.58075",    // half rounds to even, up past the limit
      "99999999999999999999",
      "1e99999999999999999999999999",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(Currency::Parse(text).has_value());
  }
  EXPECT_FALSE(Currency::Parse(std::string_view("1\0" "5", 3)).has_value());
}

TEST(Currency, HugeExponentsAndLongTextsStayLinear) {
  // Digits far beyond the last place only decide the rounding.
  const std::string longFraction = "0.00005" + std::string(100000, '0') + "1";
  ASSERT_TRUE(Currency::Parse(longFraction).has_value());
  EXPECT_EQ(Currency::Parse(longFraction)->Raw(), 1);
  const std::string longZeros = std::string(100000, '0') + "7";
  EXPECT_EQ(Currency::Parse(longZeros)->Raw(), 70000);
}

TEST(Currency, RendersShortestDecimal) {
  struct Case {
    int64_t raw;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {125000, "12.5"},
      {1000000, "100"},
      {120000, "12"},
      {12345600, "1234.56"},
      {1, "0.0001"},
      {10, "0.001"},
      {-1, "-0.0001"},
      {-125000, "-12.5"},
      {10000, "1"},
      {kMax, "922337203685477.5807"},
      {kMin, "-922337203685477.5808"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Currency::FromRaw(c.raw).ToString(), c.text);
    const auto back = Currency::Parse(c.text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->Raw(), c.raw);
  }
}

TEST(Currency, CentsDropTheFractionTowardZero) {
  EXPECT_EQ(Currency::Parse("12.349")->TruncCents(), 1234);
  EXPECT_EQ(Currency::Parse("-12.349")->TruncCents(), -1234);
  EXPECT_EQ(Currency::FromCents(1250).ToString(), "12.5");
}

TEST(Currency, FractionalCentsRoundHalvesToEvenAtTheFourthDecimal) {
  struct Case {
    const char* cents;
    const char* units;
  };
  const Case cases[] = {
      {"1234", "12.34"},   {"1234.5", "12.345"}, {"0.005", "0"},      {"0.015", "0.0002"},
      {"0.025", "0.0002"}, {"0.0251", "0.0003"}, {"-0.015", "-0.0002"}, {"-0.025", "-0.0002"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency::FromFractionalCents(*Currency::Parse(c.cents)).ToString(), c.units) << c.cents;
  }
}

// Arithmetic past the 64 bits raises instead of wrapping into a plausible amount.
TEST(Currency, ArithmeticBeyondTheRangeRaises) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const Currency top = Currency::FromRaw(kMax);
  const Currency bottom = Currency::FromRaw(kMin);
  const std::string kOut = "Amount out of range";
  EXPECT_EQ(ErrorOf([&] { (void)(top + Currency::FromRaw(1)); }), kOut);
  EXPECT_EQ(ErrorOf([&] { (void)(bottom - Currency::FromRaw(1)); }), kOut);
  EXPECT_EQ(ErrorOf([&] { (void)(-bottom); }), kOut);
  EXPECT_EQ(ErrorOf([&] { (void)(Currency::FromRaw(kMax / 2 + 1) * 2); }), kOut);
  EXPECT_EQ(ErrorOf([&] { Currency sum = top; sum += Currency::FromRaw(1); }), kOut);
  EXPECT_EQ(ErrorOf([] { (void)Currency::FromCents(kMax / 100 + 1); }), kOut);
  EXPECT_EQ(ErrorOf([] { (void)Currency::FromUnits(kMax / Currency::kScale + 1); }), kOut);
  // The edges themselves are fine.
  EXPECT_EQ((top - Currency::FromRaw(1) + Currency::FromRaw(1)).Raw(), kMax);
  EXPECT_EQ((bottom + Currency::FromRaw(1) - Currency::FromRaw(1)).Raw(), kMin);
  EXPECT_EQ(Currency::FromCents(-1234).Raw(), -123400);
  EXPECT_EQ((Currency::FromRaw(-3) * -4).Raw(), 12);
}

}  // namespace
