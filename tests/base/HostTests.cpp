#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

#include "base/DateTime.h"
#include "base/Utils.h"
#include "platform/Platform.h"

namespace {

TEST(Host, ExePathAndNameDescribeTheRunningTestProgram) {
  const std::string exe = platform::ExecutablePath();
  const std::string folder = GetExePath();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), platform::kPathDelim);
  EXPECT_EQ(GetExeName(), "velo_base_tests");
  // The full path is the folder, the name and (on Windows) the extension.
  EXPECT_EQ(exe.rfind(folder + "velo_base_tests", 0), 0u) << exe;
  EXPECT_TRUE(std::filesystem::exists(exe)) << exe;
  if (platform::kPathDelim == '\\') {
    ASSERT_GE(exe.size(), 3u);
    EXPECT_EQ(exe.substr(1, 2), ":\\") << exe;  // Z:\... under Wine
    EXPECT_EQ(exe.substr(exe.size() - 4), ".exe");
  } else {
    EXPECT_EQ(exe.front(), '/');
  }
}

TEST(Host, CommandLineStartsWithTheProgram) {
  const auto args = platform::CommandLineArguments();
  ASSERT_FALSE(args.empty());
  EXPECT_EQ(ExeNameOf(args[0]), "velo_base_tests") << args[0];
}

DateTimeParts FromTm(const std::tm& aTm) {
  DateTimeParts p;
  p.Year = aTm.tm_year + 1900;
  p.Month = aTm.tm_mon + 1;
  p.Day = aTm.tm_mday;
  p.Hour = aTm.tm_hour;
  p.Minute = aTm.tm_min;
  p.Second = aTm.tm_sec > 59 ? 59 : aTm.tm_sec;
  return p;
}

TEST(Clock, NowIsTheLocalTime) {
  const std::time_t before = std::time(nullptr);
  const TDateTime now = Now();
  const std::time_t after = std::time(nullptr);
  const double second = 1.0 / 86400.0;
  const TDateTime low = EncodeDateTime(FromTm(*std::localtime(&before)));
  const TDateTime high = EncodeDateTime(FromTm(*std::localtime(&after)));
  EXPECT_GE(now, low - second / 1000) << FormatDateTimeISO(true, now);
  EXPECT_LT(now, high + second) << FormatDateTimeISO(true, now);
}

TEST(Clock, ReadingsNeverGoBackAcrossASecond) {
  // Each reading reuses the last converted second; a stale one would jump back by up to
  // a second when the milliseconds wrap.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int32_t previous = MillisecondsOfDay(EncodeDateTime(platform::LocalNow()));
  const int startSecond = platform::LocalNow().Second;
  bool secondChanged = false;
  while (std::chrono::steady_clock::now() < deadline && !secondChanged) {
    const DateTimeParts parts = platform::LocalNow();
    ASSERT_TRUE(IsValidDate(parts.Year, parts.Month, parts.Day));
    ASSERT_TRUE(IsValidTime(parts.Hour, parts.Minute, parts.Second, parts.Millisecond));
    const int32_t current = MillisecondsOfDay(EncodeDateTime(parts));
    const bool midnight = previous > 86'390'000 && current < 10'000;
    ASSERT_TRUE(current >= previous || midnight) << previous << " then " << current;
    previous = current;
    secondChanged = parts.Second != startSecond;
  }
  EXPECT_TRUE(secondChanged);
}

}  // namespace
