#include <gtest/gtest.h>

#include "platform/Regional.h"
#include "support/TimeSeparator.h"

TEST(RegionalTest, TimeSeparatorComesFromTheRegionalSettings) {
  const std::string usual = platform::RegionalTimeSeparator();
  {
    ScopedPointTimeSeparator point;
    if (!point.Failure().empty()) GTEST_SKIP() << point.Failure();
    EXPECT_EQ(platform::RegionalTimeSeparator(), ".");
  }
  EXPECT_EQ(platform::RegionalTimeSeparator(), usual);
  EXPECT_EQ(usual.size(), 1u) << usual;
}
