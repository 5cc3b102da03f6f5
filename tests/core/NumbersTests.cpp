#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/Numbers.h"

namespace {

struct Case {
  std::string text;
  std::optional<int32_t> value;
};

void Check(const Case* aBegin, const Case* aEnd, tkIntegerSyntax aSyntax) {
  for (const Case* c = aBegin; c != aEnd; ++c) {
    EXPECT_EQ(ParseInt32(c->text, aSyntax), c->value) << "[" << c->text << "]";
  }
}

TEST(ParseInt32, DecimalWithSignAndTheEdgesOf32Bits) {
  const Case cases[] = {
      {"0", 0},
      {"+7", 7},
      {"-250", -250},
      {"  42", 42},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"--1", std::nullopt},
      {"12 ", std::nullopt},
      {"1.0", std::nullopt},
      {"1e3", std::nullopt},
      {"\t1", std::nullopt},
      {std::string("1\0", 2), std::nullopt},
      {"$10", std::nullopt},  // hex only when asked for
  };
  Check(std::begin(cases), std::end(cases), {});
}

TEST(ParseInt32, WithoutLeadingBlanks) {
  const Case cases[] = {{" 1", std::nullopt}, {"1", 1}, {"-0012", -12}};
  Check(std::begin(cases), std::end(cases), {.LeadingBlanks = false});
}

TEST(ParseInt32, HexadecimalIsA32BitPattern) {
  const Case cases[] = {
      {"$FF", 255},
      {"x10", 16},
      {"X1f", 31},
      {"0x7FFFFFFF", 2147483647},
      {"0XFFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"-$1", -1},
      {"-$FFFFFFFF", 1},
      {" $0000000000FF", 255},  // leading zeros are no significant bits
      {"$100000000", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"$0x1", std::nullopt},
      {"$G", std::nullopt},
      {"$-1", std::nullopt},
      {"12", 12},
      {"0", 0},
  };
  Check(std::begin(cases), std::end(cases), {.Hex = true});
}

}  // namespace
