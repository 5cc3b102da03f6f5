// The time stamp of a line takes the time separator of the regional settings in force
// when the writer was made.
#include <optional>
#include <regex>

#include "log/LogTestSupport.h"
#include "log/LogWriter.h"
#include "platform/Regional.h"
#include "support/TimeSeparator.h"

namespace logtest {
namespace {

using LogStampTest = TempFolderTest;

TEST_F(LogStampTest, StampsUseTheRegionalTimeSeparator) {
  const std::string usual = platform::RegionalTimeSeparator();
  std::optional<tMx_LogWriter> point;
  {
    ScopedPointTimeSeparator settings;
    if (!settings.Failure().empty()) GTEST_SKIP() << settings.Failure();
    point.emplace("point", Folder(), 0, false);
  }
  std::optional<tMx_LogWriter> plain(std::in_place, "plain", Folder(), 0, false);
  point->Write(let_info, "a");
  plain->Write(let_error, "b");
  point.reset();  // writes what is queued
  plain.reset();

  const std::vector<std::string> pointLines = ReadLines(Path("point.log"));
  ASSERT_EQ(pointLines.size(), 1u);
  EXPECT_TRUE(std::regex_match(pointLines[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d\.\d{3} - a)")))
      << pointLines[0];
  const std::vector<std::string> plainLines = ReadLines(Path("plain.log"));
  ASSERT_EQ(plainLines.size(), 1u);
  const std::string s = std::regex_replace(usual, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  EXPECT_TRUE(std::regex_match(plainLines[0],
                               std::regex(R"(\d{4}-\d\d-\d\d \d\d)" + s + R"(\d\d)" + s + R"(\d\d)" + s +
                                          R"(\d{3} - ERROR - b)")))
      << plainLines[0];
}

}  // namespace
}  // namespace logtest
