#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

#include "core/DateTime.h"
#include "core/Utils.h"
#include "platform/Host.h"
#include "platform/Platform.h"

namespace {

TEST(Host, ExePathAndNameDescribeTheRunningTestProgram) {
  const std::string exe = platform::ExecutablePath();
  const std::string folder = GetExePath();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), platform::kPathDelim);
  EXPECT_EQ(GetExeName(), "velo_platform_tests");
  // The full path is the folder, the name and (on Windows) the extension.
  EXPECT_EQ(exe.rfind(folder + "velo_platform_tests", 0), 0u) << exe;
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
  EXPECT_EQ(ExeNameOf(args[0]), "velo_platform_tests") << args[0];
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

TEST(GetParamValue, FindsTheFirstMatchingSwitch) {
  struct Case {
    std::vector<std::string> params;
    const char* name;
    bool whole;
    const char* out;
  };
  const Case cases[] = {
      {{"/batch"}, "/BATCH", true, "/batch"},
      {{"/BATCH:1"}, "/BATCH", true, "/BATCH:1"},
      {{"/Batch=yes"}, "/BATCH", true, "/Batch=yes"},
      {{"/BATCHES"}, "/BATCH", true, ""},
      {{"/BAT"}, "/BATCH", true, ""},
      {{}, "/BATCH", true, ""},
      {{"x", "/DEBUG", "/batch:first", "/BATCH=second"}, "/BATCH", true, "/batch:first"},
      {{"/BATCH:abc"}, "/BATCH", false, "abc"},
      {{"/batch=a=b:c"}, "/BATCH", false, "a=b:c"},
      {{"/BATCH"}, "/BATCH", false, ""},
      {{"/BATCH:"}, "/BATCH", false, ""},
      {{"/BATCHES", "/batch"}, "/BATCH", false, ""},
      {{"/BATCHES", "/batch:v"}, "/BATCH", false, "v"},
      {{"-Name:\xC3\xA9t\xC3\xA9"}, "-name", false, "\xC3\xA9t\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << (c.whole ? " whole" : " value") << " in "
                                    << testing::PrintToString(c.params));
    EXPECT_EQ(GetParamValue(c.params, c.name, c.whole), c.out);
  }
}

TEST(GetParamValue, SkipsTheProgramName) {
  const std::vector<std::string> args = platform::CommandLineArguments();
  ASSERT_FALSE(args.empty());
  bool passedAgain = false;
  for (size_t i = 1; i < args.size(); ++i) passedAgain |= args[i] == args[0];
  if (!passedAgain) {
    EXPECT_EQ(GetParamValue(args[0], true), "");
  }
}

TEST(ExePath, SplitsFolderAndName) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"/opt/pos/pos.exe", "/opt/pos/", "pos"},
      {"/opt/app.v2/pos", "/opt/app.v2/", "pos"},  // a point in the folder is no extension
      {"/opt/pos.tar.gz", "/opt/", "pos.tar"},
      {"pos.exe", "", "pos"},
      {"pos", "", "pos"},
      {"/opt/", "/opt/", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExePathOf(c.path), c.folder);
    EXPECT_EQ(ExeNameOf(c.path), c.name);
  }
  if (platform::kPathDelim == '\\') {
    EXPECT_EQ(ExePathOf("Z:\\work\\build\\velo_platform_tests.exe"), "Z:\\work\\build\\");
    EXPECT_EQ(ExeNameOf("Z:\\work\\build\\velo_platform_tests.exe"), "velo_platform_tests");
  } else {
    // A backslash is an ordinary file-name character here.
    EXPECT_EQ(ExePathOf("/opt/a\\b.exe"), "/opt/");
    EXPECT_EQ(ExeNameOf("/opt/a\\b.exe"), "a\\b");
  }
}

TEST(Paths, JoinPutsOneSeparatorBetween) {
  const std::string d(1, platform::kPathDelim);
  EXPECT_EQ(platform::JoinPath("logs", "a.log"), "logs" + d + "a.log");
  EXPECT_EQ(platform::JoinPath("logs" + d, "a.log"), "logs" + d + "a.log");
  EXPECT_EQ(platform::JoinPath("", "a.log"), "a.log");
  EXPECT_EQ(platform::JoinPath(d, "a.log"), d + "a.log");
  EXPECT_EQ(platform::JoinPath(platform::JoinPath("x", "LogFiles"), "Payment"), "x" + d + "LogFiles" + d + "Payment");
  // Windows takes either separator as the folder's end.
  if (platform::kPathDelim == '\\') {
    EXPECT_EQ(platform::JoinPath("C:/logs/", "a.log"), "C:/logs/a.log");
  }
}

}  // namespace
