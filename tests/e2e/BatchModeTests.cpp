// Messages for the user through the product library: in batch mode ("/BATCH" on the
// host's command line; the e2e_batch test) they go to the application log beside the host,
// otherwise to a message box.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "e2e/ProductLibrary.h"
#include "platform/Host.h"
#include "platform/Platform.h"

namespace {

constexpr char kTestDriverKey[] = "VELO_TEST_DRIVER";

std::string ApplicationLog() {
  return GetExePath() + "LogFiles" + platform::kPathDelim + GetExeName() + ".log";
}

std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Pay(int aHandle, const std::string& aReference, const std::string& aAttributes) {
  return Request(kTestDriverKey, aHandle, "batch",
                 "<Payment><Amount>1</Amount><Reference>" + aReference + "</Reference><Attributes>" +
                     aAttributes + "</Attributes></Payment>");
}

TEST(BatchMode, MessagesGoToTheApplicationLogBesideTheHost) {
  if (GetParamValue("/BATCH", true).empty()) GTEST_SKIP() << "runs as the e2e_batch test, with /BATCH on the command line";
  std::error_code ignored;
  std::filesystem::remove(ApplicationLog(), ignored);
  {
    tkProductLibrary lib(kTestDriverLibrary);
    ASSERT_EQ(lib.Call("OPEN", Request(kTestDriverKey, 0, "batch")).Result, 0);
    tkAnswer refused = lib.Call("PAY", Pay(1, "Carta rifiutata", "message-error"));
    EXPECT_EQ(refused.Result, 0) << refused.Error;
    tkAnswer ready = lib.Call("PAY", Pay(1, "Pronto", "message"));
    EXPECT_EQ(ready.Result, 0) << ready.Error;
    // Unloading frees the application object, which writes its queued lines.
    EXPECT_TRUE(lib.Unload().Gone);
  }
  RemoveDeviceLogs(kTestDriverKey, "batch");
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d.\d\d.\d\d.\d{3})";
  const std::string log = ReadFile(ApplicationLog());
  EXPECT_TRUE(std::regex_match(log, std::regex(stamp + " - ERROR - Carta rifiutata\r\n" + stamp + " - Pronto\r\n")))
      << ApplicationLog() << ":\n" << log;
}

TEST(BatchMode, WithoutBatchTheMessageIsShown) {
  if (!GetParamValue("/BATCH", true).empty()) GTEST_SKIP() << "the host runs in batch mode";
#ifdef _WIN32
  GTEST_SKIP() << "a real box would wait for a user here; tests/appui closes one under Xvfb";
#else
  const std::string before = ReadFile(ApplicationLog());
  {
    tkProductLibrary lib(kTestDriverLibrary);
    ASSERT_EQ(lib.Call("OPEN", Request(kTestDriverKey, 0, "batch")).Result, 0);
    testing::internal::CaptureStderr();
    tkAnswer ready = lib.Call("PAY", Pay(1, "Pronto", "message"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Information: Pronto\n");
    EXPECT_EQ(ready.Result, 0) << ready.Error;
    EXPECT_TRUE(lib.Unload().Gone);
  }
  RemoveDeviceLogs(kTestDriverKey, "batch");
  EXPECT_EQ(ReadFile(ApplicationLog()), before);
#endif
}

}  // namespace
