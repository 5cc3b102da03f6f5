// A log file that refuses lines for a while: a full disk, a read-only folder, another
// process holding the file. Callers must never wait for the disk, and the file must end up
// with every line, or with the count of those that had to go.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>

#include "log/LogTestSupport.h"
#include "log/LogWriter.h"
#include "support/FileHolder.h"
#include "support/SmallDisk.h"

namespace {

using namespace logtest;
using namespace std::chrono_literals;
using tkClock = std::chrono::steady_clock;

// The copy of this program that holds a file for the held-file test (Windows).
const bool gHolder = (testsupport::RunFileHolderIfAsked(), true);

// Far below the time the old writer spent on these lines (half a second per line).
constexpr auto kPrompt = 1s;

class LogFaultTest : public TempFolderTest {
 protected:
  void TearDown() override {
    tMx_LogWriter::SetQueueLimit(fDefaultLimit);
    TempFolderTest::TearDown();
  }
  // Writes "line 0" .. "line <aCount - 1>"; each Write must come back at once.
  static void WriteLines(tMx_LogWriter& aWriter, int aCount, std::chrono::milliseconds aPause = 0ms) {
    for (int i = 0; i < aCount; ++i) {
      const auto start = tkClock::now();
      aWriter.Write(let_info, "line " + std::to_string(i));
      ASSERT_LT(tkClock::now() - start, kPrompt) << "Write waited for the disk";
      if (aPause > 0ms) std::this_thread::sleep_for(aPause);
    }
  }
  static void DestroyPromptly(std::unique_ptr<tMx_LogWriter>& aWriter) {
    const auto start = tkClock::now();
    aWriter.reset();
    EXPECT_LT(tkClock::now() - start, kPrompt) << "destroying the writer waited for the disk";
  }
  // Waits until the file ends with "line <aCount - 1>", then checks that it holds every line
  // in order, or the count of the lost ones followed by the rest; returns the count lost.
  static uint64_t ExpectLinesOrLostCount(const std::string& aFile, int aCount) {
    const std::string last = "line " + std::to_string(aCount - 1) + "\r\n";
    EXPECT_TRUE(WaitUntil([&] {
      const std::string text = ReadAll(aFile);
      return text.size() >= last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0;
    }, 20s)) << "the lines never reached " << aFile << ":\n" << ReadAll(aFile);
    std::vector<std::string> messages = Messages(aFile);
    uint64_t lost = 0;
    if (!messages.empty() && messages[0].rfind("ERROR - ", 0) == 0) {
      static const std::regex kLost(
          "ERROR - (\\d+) log lines? lost, queued from (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}) to "
          "(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}): the log file refused them for longer than the "
          "queue could hold them");
      std::smatch match;
      EXPECT_TRUE(std::regex_match(messages[0], match, kLost)) << messages[0];
      if (match.size() == 4) {
        lost = std::stoull(match[1]);
        EXPECT_LE(match[2].str(), match[3].str());
      }
      messages.erase(messages.begin());
    }
    std::vector<std::string> expected;
    for (int i = static_cast<int>(lost); i < aCount; ++i) expected.push_back("line " + std::to_string(i));
    EXPECT_EQ(messages, expected) << "lines lost without a count, repeated or out of order";
    return lost;
  }

  const size_t fDefaultLimit = tMx_LogWriter::QueueLimit();
};

// Fills the file system of aFolder; removing the returned file frees it again.
std::string FillDisk(const std::string& aFolder) {
  const std::string filler = Join(aFolder, "filler");
  std::FILE* file = std::fopen(filler.c_str(), "wb");
  if (!file) return filler;
  const std::string block(4096, 'x');
  while (std::fwrite(block.data(), 1, block.size(), file) == block.size() && std::fflush(file) == 0) {
  }
  std::fclose(file);
  return filler;
}

struct RefusalCase {
  const char* label;
  size_t queueLimit;  // 0: the default
  bool expectLoss;
};
void PrintTo(const RefusalCase& aCase, std::ostream* aOut) { *aOut << aCase.label; }

class FullDiskTest : public LogFaultTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(FullDiskTest, CallersGoOnAndTheLinesArriveOnceSpaceFrees) {
  const std::string folder = Path("disk");
  fs::create_directories(AsPath(folder));
  testsupport::SmallDisk disk(folder, 256);
  if (!disk.Mounted()) GTEST_SKIP() << "no full-disk test here: " << disk.Why();
  if (GetParam().queueLimit > 0) tMx_LogWriter::SetQueueLimit(GetParam().queueLimit);
  const std::string filler = FillDisk(folder);

  auto writer = std::make_unique<tMx_LogWriter>("dev", folder, 0, false);
  const std::string file = writer->FileName();
  constexpr int kLines = 200;
  WriteLines(*writer, kLines);
  // Another writer, on a disk with room, is not held up meanwhile.
  tMx_LogWriter other("other", Path("fine"), 0, false);
  const auto start = tkClock::now();
  other.Write(let_info, "unhindered");
  DestroyPromptly(writer);
  EXPECT_LT(tkClock::now() - start, kPrompt);

  std::remove(filler.c_str());
  const uint64_t lost = ExpectLinesOrLostCount(file, kLines);
  if (GetParam().expectLoss) {
    EXPECT_GT(lost, 0u);
  } else {
    EXPECT_EQ(lost, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limit, FullDiskTest,
    ::testing::Values(RefusalCase{"QueueHoldsThemAll", 0, false},
                      // About 35 bytes a line: room for some 60 of the 200.
                      RefusalCase{"QueueLimitReached", 2000, true}),
    [](const auto& aInfo) { return std::string(aInfo.param.label); });

TEST_F(LogFaultTest, ReadOnlyFolderKeepsTheLinesUntilItIsWritableAgain) {
  const std::string folder = Path("disk");
  fs::create_directories(AsPath(folder));
  testsupport::SmallDisk disk(folder, 256);
  if (!disk.Mounted()) GTEST_SKIP() << "no read-only folder test here: " << disk.Why();
  ASSERT_TRUE(disk.SetReadOnly(true));
  auto writer = std::make_unique<tMx_LogWriter>("dev", folder, 0, false);
  const std::string file = writer->FileName();
  WriteLines(*writer, 40);
  std::this_thread::sleep_for(300ms);  // several refused attempts
  DestroyPromptly(writer);
  ASSERT_TRUE(disk.SetReadOnly(false));
  EXPECT_EQ(ExpectLinesOrLostCount(file, 40), 0u);
}

// Three seconds: longer than the old writer's ten attempts 50 ms apart.
TEST_F(LogFaultTest, FileHeldByAnotherProcessForSecondsLosesNoLine) {
  auto writer = std::make_unique<tMx_LogWriter>("dev", Folder(), 0, false);
  const std::string file = writer->FileName();
  testsupport::HoldFileInOtherProcess(file, 3000);
  WriteLines(*writer, 30, 50ms);
  EXPECT_GT(writer->Thread().QueueCount(), 0u) << "written although the file was held";
  DestroyPromptly(writer);
  EXPECT_EQ(ExpectLinesOrLostCount(file, 30), 0u);
}

// The queue's limit on every system, with the file held inside this process.
TEST_F(LogFaultTest, LinesPastTheQueueLimitAreCountedInTheFileAndTheNewestKept) {
  tMx_LogWriter::SetQueueLimit(1500);
  platform::SharedAppendFile holder;
  ASSERT_TRUE(holder.Open(Path("dev.log")));
  auto writer = std::make_unique<tMx_LogWriter>("dev", Folder(), 0, false);
  WriteLines(*writer, 300);
  EXPECT_LT(writer->Thread().QueueCount(), 60u) << "the queue outgrew its limit";
  writer->Write(let_info, "line 300");  // the newest line survives, like a device's STOP
  DestroyPromptly(writer);
  holder.Close();
  const uint64_t lost = ExpectLinesOrLostCount(Path("dev.log"), 301);
  EXPECT_GT(lost, 240u);
}

// Someone clears the log folder, or removes it, between two lines.
TEST_F(LogFaultTest, DeletedFileOrFolderIsMadeAgainForTheLinesThatFollow) {
  for (const bool wholeFolder : {false, true}) {
    SCOPED_TRACE(wholeFolder ? "folder removed" : "file removed");
    const std::string folder = Path(wholeFolder ? "removed" : "kept");
    auto writer = std::make_unique<tMx_LogWriter>("dev", folder, 0, false);
    const std::string file = writer->FileName();
    writer->Write(let_info, "gone");
    ASSERT_TRUE(WaitUntil([&] { return writer->Thread().QueueCount() == 0; }));
    ASSERT_TRUE(fs::remove_all(AsPath(wholeFolder ? folder : file)) > 0);
    WriteLines(*writer, 20);
    DestroyPromptly(writer);
    EXPECT_EQ(ExpectLinesOrLostCount(file, 20), 0u);
  }
}

}  // namespace
