#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/TextResource.h"
#include "core/DateTime.h"
#include "core/Errors.h"
#include "core/Utils.h"
#include "platform/Host.h"
#include "platform/Platform.h"
#include "platform/Resources.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FileLines(const std::string& aPath) {
  std::string text = ReadFile(aPath);
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class ApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    fRoot = (fs::temp_directory_path() /
             ("velo_app_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "_" + std::to_string(counter++) + "_" +
              std::to_string(reinterpret_cast<uintptr_t>(this))))
                .string();
    fs::remove_all(fRoot);
    fs::create_directories(fRoot);
    fClock = std::make_shared<TDateTime>(EncodeDate(2025, 1, 30) + EncodeTime(10, 0, 0, 0));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(fRoot, ignored);
  }

  std::string Path(const std::string& aRelative) const {
    return fRoot + platform::kPathDelim + aRelative;
  }

  tMx_HostContext Context(std::vector<std::string> aArguments = {}) const {
    tMx_HostContext context;
    context.fLogDirectory = Path("LogFiles");
    context.fLogName = "pos";
    context.fArguments = std::move(aArguments);
    context.fStrings = [](uint32_t aId) {
      return aId == 10000 ? std::string("$VERSION=9.9") : std::string();
    };
    context.fRawResources = [this](std::string_view aName) -> std::optional<std::string> {
      if (aName == "MESSAGES" && fMessages) return *fMessages;
      return std::nullopt;
    };
    context.fClock = [clock = fClock] { return *clock; };
    return context;
  }

  void Advance(int aMilliseconds) { *fClock += aMilliseconds / double(kMSecsPerDay); }

  std::string fRoot;
  std::shared_ptr<TDateTime> fClock;
  std::optional<std::string> fMessages;
};

TEST_F(ApplicationTest, CommandLineSwitches) {
  struct Case {
    std::vector<std::string> args;
    bool batch, debug, test;
  };
  const Case cases[] = {
      {{}, false, false, false},
      {{"/BATCH"}, true, false, false},
      {{"/batch"}, true, false, false},
      {{"/Batch:1"}, true, false, false},
      {{"/BATCH=yes"}, true, false, false},
      {{"/BATCHX"}, false, false, false},
      {{"BATCH"}, false, false, false},
      {{"-BATCH"}, false, false, false},
      {{"/BATCH:"}, true, false, false},
      {{"file.txt", "/debug", "/Test"}, false, true, true},
      {{"/DEBUGGER", "/TESTING", "/TEST=0"}, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    tMx_Application app(Context(c.args));
    EXPECT_EQ(app.IsBatch(), c.batch);
    EXPECT_EQ(app.IsDebug(), c.debug);
    EXPECT_EQ(app.IsTest(), c.test);
  }
  tMx_Application app(Context());
  app.ForceIsBatch();
  EXPECT_TRUE(app.IsBatch());
}

TEST_F(ApplicationTest, LogWritesLinesAndKeepsTheLastError) {
  std::string file;
  {
    tMx_Application app(Context());
    file = app.GetLogFileName();
    EXPECT_EQ(file, Path("LogFiles") + platform::kPathDelim + "pos.log");
    EXPECT_EQ(app.GetLogDirectory(), Path("LogFiles"));
    EXPECT_TRUE(fs::is_directory(Path("LogFiles")));  // created with the object
    EXPECT_EQ(app.Info().Version(), "9.9");

    app.Log(let_error, "first failure");
    app.Log(let_info, "started \u00E8 ok");
    EXPECT_EQ(app.LastError(), "first failure");
    app.Log(let_error, "second failure");
    EXPECT_EQ(app.LastError(), "second failure");
  }  // destruction writes what is queued
  std::vector<std::string> lines = FileLines(file);
  ASSERT_EQ(lines.size(), 3u) << ReadFile(file);
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3})";
  const char* const expected[] = {" - ERROR - first failure", " - started \u00E8 ok",
                                  " - ERROR - second failure"};
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(stamp + expected[i]))) << lines[i];
  }
}

// Building the object writes no line, so it never starts the log writer's thread.
TEST_F(ApplicationTest, ConstructionWritesNothing) {
  { tMx_Application app(Context({"/BATCH"})); }
  EXPECT_TRUE(fs::is_directory(Path("LogFiles")));
  EXPECT_FALSE(fs::exists(Path("LogFiles") + platform::kPathDelim + "pos.log"));
}

TEST_F(ApplicationTest, AFolderThatCannotBeUsedFailsTheConstruction) {
  tMx_HostContext context = Context();
  context.fLogDirectory = "";
  EXPECT_THROW(tMx_Application app(context), EMxError);
}

TEST_F(ApplicationTest, MovingTheLog) {
  const std::string base = Path("LogFiles");
  const char d = platform::kPathDelim;
  {
    tMx_Application app(Context());
    app.ChangeLogDirectory("sub");
    EXPECT_EQ(app.GetLogDirectory(), base + d + "sub");
    EXPECT_EQ(app.GetLogFileName(), base + d + "sub" + d + "pos.log");
    EXPECT_TRUE(fs::is_directory(base + d + "sub"));

    app.ChangeLogFilename("other.txt");
    EXPECT_EQ(app.GetLogFileName(), base + d + "sub" + d + "other.txt");
    app.Log(let_info, "in sub");

    // The temporary folder is an absolute path on both targets (/... or C:\...).
    const std::string absolute = Path("elsewhere");
    app.ChangeLogDirectory(absolute);
    EXPECT_EQ(app.GetLogFileName(), absolute + d + "other.txt");
    EXPECT_TRUE(fs::is_directory(absolute));

    app.ChangeLogDirectory("");
    EXPECT_EQ(app.GetLogFileName(), base + d + "other.txt");
    app.Log(let_info, "in base");
  }
  // A queued line goes to whichever file is current when the log thread writes it.
  std::string all = ReadFile(base + d + "sub" + d + "other.txt") +
                    ReadFile(Path("elsewhere") + d + "other.txt") +
                    ReadFile(base + d + "other.txt");
  EXPECT_NE(all.find(" - in sub\r\n"), std::string::npos) << all;
  EXPECT_NE(ReadFile(base + d + "other.txt").find(" - in base\r\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(base + d + "pos.log"));
}

TEST_F(ApplicationTest, StopWatchesNest) {
  tMx_Application app(Context());
  EXPECT_EQ(app.GetTimerCount(), 0u);
  app.StartTimer();
  Advance(1500);
  app.StartTimer();
  Advance(250);
  EXPECT_EQ(app.GetTimerCount(), 2u);
  EXPECT_EQ(app.GetTimerValue(), 250);  // the inner one keeps running
  EXPECT_EQ(app.GetTimerCount(), 2u);
  Advance(1);
  EXPECT_EQ(app.StopTimer(), 251);
  EXPECT_EQ(app.GetTimerCount(), 1u);
  EXPECT_EQ(app.StopTimer(), 1751);
  EXPECT_EQ(app.GetTimerCount(), 0u);
}

TEST_F(ApplicationTest, AStopWatchRunsAcrossMidnight) {
  *fClock = EncodeDate(2025, 1, 30) + EncodeTime(23, 59, 59, 900);
  tMx_Application app(Context());
  app.StartTimer();
  Advance(200);
  EXPECT_EQ(app.StopTimer(), 200);
  app.StartTimer();
  Advance(3 * int(kMSecsPerDay / 2));
  EXPECT_EQ(app.StopTimer(), 3 * kMSecsPerDay / 2);
}

TEST_F(ApplicationTest, StoppingWithoutARunningStopWatchFails) {
  tMx_Application app(Context());
  for (int round = 0; round < 2; ++round) {
    try {
      app.StopTimer();
      ADD_FAILURE() << "StopTimer did not fail";
    } catch (const EMxError& e) {
      EXPECT_STREQ(e.what(), "Unbalanced stack or queue operation");
    }
    EXPECT_THROW(app.GetTimerValue(), EMxError);
    app.StartTimer();
    app.StopTimer();
  }
}

TEST_F(ApplicationTest, MessagesWithoutATableAreTheirIdentifiers) {
  tMx_Application app(Context());
  EXPECT_EQ(app.GetMessage("Device %s not found", {"COM3"}), "Device COM3 not found");
  EXPECT_EQ(app.GetMessage("Line one\\r\\nLine two\\r\\n"), "Line one\r\nLine two\r\n");
  EXPECT_EQ(app.GetMessage("100% sure \\R\\N"), "100% sure \\R\\N");  // not formatted
}

TEST_F(ApplicationTest, MessagesFromTheResource) {
  fMessages = "it.HELLO:Ciao %s:ignored\r\n"
              "it.HELLO:Second value\r\n"
              "HELLO.en:Hello %s\n"
              "it.BREAK:Riga\\r\\nNuova\r"
              "NOCOLON\r\n";
  tMx_Application app(Context());
  EXPECT_EQ(app.GetMessage("HELLO", {"Anna"}), "HELLO");  // no language set
  app.SetDefaultLanguage("en");
  EXPECT_EQ(app.GetMessage("HELLO", {"Anna"}), "Hello Anna");
  app.SetLanguage("it");
  EXPECT_EQ(app.GetMessage("HELLO", {"Anna"}), "Ciao Anna");  // the first line wins
  EXPECT_EQ(app.GetMessage("BREAK"), "Riga\r\nNuova");
  EXPECT_EQ(app.GetMessage("MISSING"), "MISSING");
  app.SetLanguage("IT");  // keys match with case
  EXPECT_EQ(app.GetMessage("BREAK"), "BREAK");

  // More lines later do not replace earlier ones.
  app.AddMessageLines({"IT.BREAK:x", "it.HELLO:replaced"});
  EXPECT_EQ(app.GetMessage("BREAK"), "x");
  app.SetLanguage("it");
  EXPECT_EQ(app.GetMessage("HELLO", {"Bo"}), "Ciao Bo");
}

TEST_F(ApplicationTest, ABrokenMessageFormatRaisesInsteadOfReadingPastItsValues) {
  fMessages = "it.BAD:Value %s and %d\r\n";
  tMx_Application app(Context());
  app.SetLanguage("it");
  try {
    app.GetMessage("BAD", {"only one"});
    ADD_FAILURE() << "no error";
  } catch (const EMxError& e) {
    EXPECT_STREQ(e.what(), "No argument for format 'Value %s and %d'");
  }
}

TEST(MxFormat, Specifiers) {
  struct Case {
    const char* format;
    std::vector<tMx_FormatArg> args;
    const char* out;
  };
  const Case cases[] = {
      {"plain", {}, "plain"},
      {"%s and %s", {"a", std::string("b")}, "a and b"},
      {"%d|%5d|%-5d|%.4d|%.3d", {42, 42, 42, -42, 12345}, "42|   42|42   |-0042|12345"},
      {"%d", {int64_t(INT64_MIN)}, "-9223372036854775808"},
      {"%u %x %.4X", {7, 255, 10}, "7 FF 000A"},
      {"%x", {-1}, "FFFFFFFFFFFFFFFF"},
      {"%*d|%-*d|%.*s", {4, 7, 3, 8, 2, "abcdef"}, "   7|8  |ab"},
      {"%1:s %0:s %s", {"a", "b"}, "b a b"},
      {"100%% %s", {"x"}, "100% x"},
      {"%5s|%-5s|%.2s", {"\u00E8\u00E8", "ab", "\u00E8\u00E9\u00EA"},
       "   \u00E8\u00E8|ab   |\u00E8\u00E9"},
      {"%f %.0f %.3f", {1.25, 2.7, -0.5}, "1.25 3 -0.500"},
      {"%n %.0n", {1234567.891, -1000.0}, "1,234,567.89 -1,000"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {-0.000123}, "-1.23E-004"},
      {"%g %g %g %g", {1234.5, 1e20, 0.00001, 0.5}, "1234.5 1E20 1E-5 0.5"},
      {"%f %e",
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()},
       "NAN -INF"},
      {"%S %D", {"up", 3}, "up 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(MxFormat(c.format, c.args), c.out);
  }
}

TEST(MxFormat, RejectsFormatsThatDoNotFitTheirValues) {
  struct Case {
    const char* format;
    std::vector<tMx_FormatArg> args;
    const char* message;
  };
  const Case cases[] = {
      {"%d", {"text"}, "Format '%d' invalid or incompatible with argument"},
      {"%s", {5}, "Format '%s' invalid or incompatible with argument"},
      {"%f", {5}, "Format '%f' invalid or incompatible with argument"},
      {"%d", {1.5}, "Format '%d' invalid or incompatible with argument"},
      {"%q", {1}, "Format '%q' invalid or incompatible with argument"},
      {"ends with %", {}, "Format 'ends with %' invalid or incompatible with argument"},
      {"%5", {1}, "Format '%5' invalid or incompatible with argument"},
      {"%*d", {"w", 1}, "Format '%*d' invalid or incompatible with argument"},
      {"%999999999s", {"x"}, "Format '%999999999s' invalid or incompatible with argument"},
      {"%.999999999f", {1.0}, "Format '%.999999999f' invalid or incompatible with argument"},
      {"%s %s", {"one"}, "No argument for format '%s %s'"},
      {"%5:s", {"a"}, "No argument for format '%5:s'"},
      {"%d", {}, "No argument for format '%d'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    try {
      MxFormat(c.format, c.args);
      ADD_FAILURE() << "no error";
    } catch (const EMxError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(TextResourceLines, EncodingsAndLineEnds) {
  using Lines = std::vector<std::string>;
  struct Case {
    std::string bytes;
    Lines lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a:1", {"a:1"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\nb\n\n", {"a", "", "b", ""}},
      {"\xEF\xBB\xBFk:\xC3\xA8\r\n", {"k:\u00E8"}},
      {"\xEF\xBB\xBF\xFFz", {"\uFFFDz"}},
      {std::string("\xFF\xFEk\0:\0\xE8\0\r\0\n\0x\0", 14), {"k:\u00E8", "x"}},
      {std::string("\xFE\xFF\0k\0:\x20\xAC", 8), {"k:\u20AC"}},
      // No byte-order mark: the ANSI code page (1252 under Wine's and this library's
      // defaults).
      {"k:caf\xE9 \x80", {"k:caf\u00E9 \u20AC"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(TextResourceLines(c.bytes), c.lines);
  }
}

TEST(Resources, TheLibraryCarriesNoMessageTable) {
  EXPECT_FALSE(platform::LoadRawResource("MESSAGES").has_value());
}

// The process-wide object describes the test program itself.
TEST(ApplicationObject, BuiltOnFirstUseForTheHostProgram) {
  tMx_Application::Shutdown(true);
  EXPECT_EQ(tMx_Application::InstanceIfBuilt(), nullptr);

  tMx_Application& app = gApplicationObject();
  EXPECT_EQ(tMx_Application::InstanceIfBuilt(), &app);
  EXPECT_EQ(&tMx_Application::Instance(), &app);
  EXPECT_EQ(app.Info().Version(), "1.10");
  EXPECT_EQ(app.Info().ReleaseDate(), EncodeDate(2025, 1, 30));
  const std::string file = GetExePath() + "LogFiles" + platform::kPathDelim + GetExeName() + ".log";
  EXPECT_EQ(app.GetLogFileName(), file);
  EXPECT_FALSE(app.IsBatch());

  // Seconds and milliseconds apart: thirteen digits in a row could pass the Luhn check and
  // be masked as a card number.
  const auto stamp = [] {
    const long long ms = std::llround(Now() * kMSecsPerDay);
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000);
  };
  const std::string marker = "joined " + stamp();
  app.Log(let_info, marker);
  tMx_Application::Shutdown(true);
  EXPECT_EQ(tMx_Application::InstanceIfBuilt(), nullptr);
  EXPECT_NE(ReadFile(file).find(" - " + marker + "\r\n"), std::string::npos);

  // Without joining: the queued line is written on the calling thread.
  tMx_Application& again = gApplicationObject();
  const std::string marker2 = "drained " + stamp();
  again.Log(let_error, marker2);
  tMx_Application::Shutdown(false);
  EXPECT_NE(ReadFile(file).find(" - ERROR - " + marker2 + "\r\n"), std::string::npos);

  tMx_Application::Shutdown(true);  // nothing left to end
}

}  // namespace
