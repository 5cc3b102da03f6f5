#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "io/Connection.h"
#include "io/IOHandler_Com.h"
#include "io/IoTestSupport.h"

namespace {

using namespace iotest;
using logtest::Messages;
using logtest::ReadLines;

class IOHandlerTest : public logtest::TempFolderTest {
 protected:
  std::unique_ptr<kIOHandler_Com> MakeHandler(const std::string& aName = "VELO_VIROZI_10_1") {
    kConnection connection;
    connection.SetConnectTimeOut(2500);
    connection.SetReadTimeOut(4000);
    return std::make_unique<kIOHandler_Com>(&connection, Folder(), aName);
  }
  // Destroys the handler (writing STOP and flushing) and gives the log's messages.
  std::vector<std::string> Finish(std::unique_ptr<kIOHandler_Com>& aHandler) {
    const std::string file = aHandler->GetLogFileName();
    aHandler.reset();
    return Messages(file);
  }
};

TEST_F(IOHandlerTest, LogFileIsDailyNameInTheFolder) {
  auto handler = MakeHandler();
  EXPECT_EQ(handler->GetLogFileName(), Path(DailyLogName("VELO_VIROZI_10_1")));
  handler.reset();
  EXPECT_EQ(FileNamesIn(Folder()), std::vector<std::string>{DailyLogName("VELO_VIROZI_10_1")});
}

TEST_F(IOHandlerTest, StartConnectAndStopBannersInOrder) {
  ASSERT_EQ(kStart.size(), 61u);
  ASSERT_EQ(kStop.size(), 61u);
  ASSERT_EQ(kStars.size(), 61u);
  auto handler = MakeHandler();
  handler->SetVersion("Version 1.0.0.7 - 31/01/2025");
  EXPECT_TRUE(handler->Connect());
  EXPECT_EQ(Finish(handler), (std::vector<std::string>{kStart, kStars, "kIOHandler_Com",
                                                       "Version 1.0.0.7 - 31/01/2025", "ConnectTimeout=2500",
                                                       "ReadTimeout=4000", kStop}));
}

TEST_F(IOHandlerTest, ConnectBannerWithoutVersionHasAnEmptyLine) {
  auto handler = MakeHandler();
  handler->Connect();
  const std::string file = handler->GetLogFileName();
  handler.reset();
  const std::vector<std::string> lines = ReadLines(file);
  ASSERT_EQ(lines.size(), 7u);
  // Time stamp and separator only.
  EXPECT_EQ(lines[3].size(), 26u) << lines[3];
  EXPECT_EQ(lines[3].substr(23), " - ");
}

TEST_F(IOHandlerTest, TimeoutsComeFromTheConnectionOrAreZero) {
  auto withConnection = MakeHandler();
  EXPECT_EQ(withConnection->ConnectTimeout(), 2500);
  EXPECT_EQ(withConnection->ReadTimeout(), 4000);
  kIOHandler_Com without(nullptr, "", "");
  EXPECT_EQ(without.ConnectTimeout(), 0);
  EXPECT_EQ(without.ReadTimeout(), 0);
}

TEST_F(IOHandlerTest, WriteLogAndDebugLines) {
  struct Entry {
    bool hex;
    bool titled;
    tMx_MessageType type;
    std::string title, message, expected;  // expected: the line after the time stamp
  };
  const std::vector<Entry> entries = {
      {false, true, let_info, "fVirPay.Pagamento", "OK", " - fVirPay.Pagamento:OK"},
      {true, true, let_info, "fVirPay.Pagamento", "OK", " - fVirPay.Pagamento:OK [4f 4b]"},
      {true, true, let_info, "T", "", " - T: []"},
      {false, true, let_info, "T", "", " - T:"},
      {true, true, let_error, "Reply", "A\xE2\x82\xAC", " - ERROR - Reply:A\xE2\x82\xAC [41 20ac]"},
      {true, false, let_info, "", "no dump for Debug", " - no dump for Debug"},
      {false, false, let_error, "", "failed", " - ERROR - failed"},
      {false, false, let_info, "", "", " - "},
  };
  auto handler = MakeHandler();
  for (const Entry& e : entries) {
    handler->SetHexLog(e.hex);
    if (e.titled) {
      handler->WriteLog(e.type, e.title, e.message);
    } else {
      handler->Debug(e.type, e.message);
    }
  }
  const std::string file = handler->GetLogFileName();
  handler.reset();
  const std::vector<std::string> lines = ReadLines(file);
  ASSERT_EQ(lines.size(), entries.size() + 2);
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(lines[i + 1].substr(23), entries[i].expected) << i;
}

TEST_F(IOHandlerTest, WithoutFolderOrFileNameNothingIsLogged) {
  for (const auto& [folder, name] : {std::pair<std::string, std::string>{"", "VELO_1"}, {Folder(), ""}}) {
    kIOHandler_Com handler(nullptr, folder, name);
    EXPECT_EQ(handler.GetLogFileName(), "");
    handler.SetHexLog(true);
    handler.WriteLog(let_info, "T", "M");
    handler.Debug(let_error, "M");
    EXPECT_TRUE(handler.Connect());
    handler.SetTemporaryReadTimeout(5000);
    EXPECT_EQ(handler.ReadTimeout(), 5000);
    // Nothing was saved (the read timeout was 0), so there is nothing to go back to.
    handler.ResetTemporaryReadTimeout();
    EXPECT_EQ(handler.ReadTimeout(), 5000);
  }
  EXPECT_TRUE(FileNamesIn(Folder()).empty());
}

TEST_F(IOHandlerTest, TemporaryReadTimeoutSavesAndRestores) {
  auto handler = MakeHandler();
  handler->SetReadTimeout(1000);

  handler->SetTemporaryReadTimeout(5000);
  EXPECT_EQ(handler->ReadTimeout(), 5000);
  EXPECT_EQ(handler->TemporaryReadTimeout(), 1000);
  handler->ResetTemporaryReadTimeout();
  EXPECT_EQ(handler->ReadTimeout(), 1000);

  // Nested: the reset goes back one step only, to the value in force before the second call.
  handler->SetTemporaryReadTimeout(5000);
  handler->SetTemporaryReadTimeout(8000);
  EXPECT_EQ(handler->ReadTimeout(), 8000);
  handler->ResetTemporaryReadTimeout();
  EXPECT_EQ(handler->ReadTimeout(), 5000);

  // 0 and negative values are logged and change nothing.
  handler->SetTemporaryReadTimeout(0);
  handler->SetTemporaryReadTimeout(-3);
  EXPECT_EQ(handler->ReadTimeout(), 5000);
  EXPECT_EQ(handler->TemporaryReadTimeout(), 5000);

  EXPECT_EQ(Finish(handler), (std::vector<std::string>{
                                 kStart,
                                 "Set Read Timeout to 5000ms from 1000 ms",
                                 "Reset Timeout to 1000 ms",
                                 "Set Read Timeout to 5000ms from 1000 ms",
                                 "Set Read Timeout to 8000ms from 5000 ms",
                                 "Reset Timeout to 5000 ms",
                                 "Set Read Timeout to 0ms from 5000 ms",
                                 "Set Read Timeout to -3ms from 5000 ms",
                                 kStop,
                             }));
}

TEST_F(IOHandlerTest, ResetWithoutSavedTimeoutKeepsTheReadTimeout) {
  auto handler = MakeHandler();
  handler->ResetTemporaryReadTimeout();
  EXPECT_EQ(handler->ReadTimeout(), 4000);
  EXPECT_EQ(Finish(handler), (std::vector<std::string>{kStart, "Reset Timeout to 0 ms", kStop}));
}

TEST_F(IOHandlerTest, CustomErrorIsRecordedUntilReset) {
  auto handler = MakeHandler();
  EXPECT_FALSE(handler->ErrorFound());
  handler->SetCustomError(-7, "Terminal offline");
  EXPECT_TRUE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), -7);
  EXPECT_EQ(handler->ErrorMessage(), "Terminal offline");
  handler->ResetCustomError();
  EXPECT_FALSE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 0);
  EXPECT_EQ(handler->ErrorMessage(), "");
  // Recording an error writes nothing to the log.
  EXPECT_EQ(Finish(handler), (std::vector<std::string>{kStart, kStop}));
}

TEST(HexDumpTest, CodePointsInLowercaseHex) {
  const struct {
    std::string text;
    const char* dump;
  } cases[] = {
      {"", ""},
      {"OK", "4f 4b"},
      {"\n", "0a"},
      {std::string("\0", 1), "00"},
      {"\xE2\x82\xAC", "20ac"},                 // euro sign: one character, four digits
      {"a\xC3\xA9z", "61 e9 7a"},               // two-byte character
      {"\xF0\x9F\x98\x80", "1f600"},            // beyond the 16-bit range: one character
      {"\xFF" "A", "fffd 41"},                  // a stray byte is one replacement character
      {"\x1B\x7F~", "1b 7f 7e"},
  };
  for (const auto& c : cases) EXPECT_EQ(kIOHandler::HexDump(c.text), c.dump) << c.dump;
}

TEST(FormatAmountTest, ShortestDecimalForm) {
  const struct {
    Currency amount;
    const char* text;
  } cases[] = {
      {Currency::FromRaw(125000), "12.5"},     {Currency::FromUnits(12), "12"},
      {Currency::FromRaw(12345600), "1234.56"}, {Currency::FromRaw(-1), "-0.0001"},
      {Currency::FromRaw(0), "0"},             {Currency::FromRaw(-1234567), "-123.4567"},
  };
  for (const auto& c : cases) EXPECT_EQ(kIOHandler::FormatAmount(c.amount), c.text);
}

TEST_F(IOHandlerTest, ComHandlerHasNoChannel) {
  auto handler = MakeHandler();
  EXPECT_TRUE(handler->Connected());
  EXPECT_FALSE(handler->Write("data"));
  EXPECT_EQ(handler->ReadUpTo({0x03}), "");
  EXPECT_EQ(handler->ReadChars(5), "");
  EXPECT_EQ(handler->DecodeError(5), "");
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
  // None of it touches the log or the error record.
  EXPECT_FALSE(handler->ErrorFound());
  EXPECT_EQ(Finish(handler), (std::vector<std::string>{kStart, kStop}));
}

// ---- log file names from request text ---------------------------------------------------

TEST(SanitizeLogFileNameTest, KeepsOrdinaryNamesAndNeutralisesPaths) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"VELO_VIROZI_10_1", "VELO_VIROZI_10_1"},
      {"VELO_caf\xC3\xA9 2", "VELO_caf\xC3\xA9 2"},
      {"a.b", "a.b"},
      {"../../escape", "______escape"},
      {"..\\..\\escape", "______escape"},
      {"C:\\Windows\\evil", "C__Windows_evil"},
      {"C:evil", "C_evil"},
      {"/etc/passwd", "_etc_passwd"},
      {"\\\\server\\share\\x", "__server_share_x"},
      {"..", "__"},
      {"...", "___"},
      {"a..b", "a__b"},
      {"x\t\r\ny", "x___y"},
      {"<>|?*\"", "______"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(kIOHandler::SanitizeLogFileName(c.in), c.out) << c.in;
}

TEST(SanitizeLogFileNameTest, LongNamesAreCutOnCharacterBoundaries) {
  EXPECT_EQ(kIOHandler::SanitizeLogFileName(std::string(300, 'a')), std::string(200, 'a'));
  std::string accents = "x";
  for (int i = 0; i < 150; ++i) accents += "\xC3\xA9";
  const std::string cut = kIOHandler::SanitizeLogFileName(accents);
  // 200 bytes would split the 100th character; it goes entirely.
  EXPECT_EQ(cut.size(), 199u);
  EXPECT_EQ(cut, accents.substr(0, 199));
}

TEST_F(IOHandlerTest, HostileLogNamesStayInTheLogFolder) {
  const struct {
    std::string logId;
    std::string fileBase;
  } cases[] = {
      {"../../escape", "VELO_______escape"},
      {"..\\..\\escape", "VELO_______escape"},
      {"C:\\evil", "VELO_C__evil"},
      {"a:b", "VELO_a_b"},
      {"sub/dir", "VELO_sub_dir"},
      {"..", "VELO___"},
  };
  // Two levels down, so that an escape of one or two levels shows in the test folder.
  const std::string logDir = Path("a") + platform::kPathDelim + "b";
  for (const auto& c : cases) {
    {
      kIOHandler_Com handler(nullptr, logDir, "VELO_" + c.logId);
      EXPECT_EQ(handler.GetLogFileName(), logDir + platform::kPathDelim + DailyLogName(c.fileBase)) << c.logId;
      handler.WriteLog(let_info, "T", "M");
    }
    EXPECT_EQ(FileNamesIn(Folder()), std::vector<std::string>{"a"}) << c.logId;
    EXPECT_EQ(FileNamesIn(Path("a")), std::vector<std::string>{"b"}) << c.logId;
    EXPECT_EQ(FileNamesIn(logDir), std::vector<std::string>{DailyLogName(c.fileBase)}) << c.logId;
    EXPECT_EQ(Messages(logDir + platform::kPathDelim + DailyLogName(c.fileBase)),
              (std::vector<std::string>{kStart, "T:M", kStop}))
        << c.logId;
    std::filesystem::remove(logtest::AsPath(logDir + platform::kPathDelim + DailyLogName(c.fileBase)));
  }
}

TEST_F(IOHandlerTest, VeryLongLogNameStillLogs) {
  std::string file;
  {
    kIOHandler_Com handler(nullptr, Folder(), "VELO_" + std::string(400, '7'));
    file = handler.GetLogFileName();
    handler.Debug(let_info, "kept");
  }
  EXPECT_EQ(Messages(file), (std::vector<std::string>{kStart, "kept", kStop}));
}

}  // namespace
