#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "io/Connection.h"
#include "io/IOHandler_Dll.h"
#include "io/IoTestSupport.h"
#include "platform/Library.h"

namespace {

using namespace iotest;
using logtest::Messages;

// A C library every test machine has, with a function of the C calling convention.
std::string SystemCLibrary() { return OnWindows() ? "msvcrt.dll" : "libc.so.6"; }

class DllHandlerTest : public logtest::TempFolderTest {
 protected:
  std::unique_ptr<kIOHandler_Dll> Make(const std::string& aLibrary) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::DLL);
    connection.SetLibraryName(aLibrary);
    return std::make_unique<kIOHandler_Dll>(&connection, Folder(), "VELO_DLL_1");
  }
  std::string LogFile() const { return Path(DailyLogName("VELO_DLL_1")); }
};

TEST_F(DllHandlerTest, LoadsResolvesAndUnloadsWithLogLines) {
  auto handler = Make(SystemCLibrary());
  using StrLen = size_t (*)(const char*);
  const auto strLen = reinterpret_cast<StrLen>(handler->GetAddress("strlen"));
  ASSERT_NE(strLen, nullptr);
  // The address is the real function, not just any non-null pointer.
  EXPECT_EQ(strLen("payment"), 7u);
  handler.reset();
  EXPECT_EQ(Messages(LogFile()), (std::vector<std::string>{
                                     kStart,
                                     "kIOHandler_Dll.Create:Loading DLL " + SystemCLibrary(),
                                     "kIOHandler_Dll.Create:DLL Loaded successfully",
                                     "kIOHandler_Dll.Destroy:Unloading DLL",
                                     "kIOHandler_Dll.Destroy:DLL Unloaded Successfully",
                                     kStop,
                                 }));
}

TEST_F(DllHandlerTest, MissingFunctionIsNamedInTheError) {
  auto handler = Make(SystemCLibrary());
  EXPECT_EQ(ErrorOf([&] { handler->GetAddress("velo_no_such_function"); }),
            "Unable to get address for procedure velo_no_such_function");
  EXPECT_EQ(ErrorOf([&] { handler->GetAddress(""); }), "Unable to get address for procedure ");
}

TEST_F(DllHandlerTest, FunctionsOfOtherLibrariesAreNotTheLibrarysOwn) {
  // The maths library depends on the C library but does not export its printf; the
  // Windows kernel leaves strlen to other modules.
  auto handler = Make(OnWindows() ? "kernel32.dll" : "libm.so.6");
  EXPECT_EQ(ErrorOf([&] { handler->GetAddress(OnWindows() ? "strlen" : "printf"); }),
            std::string("Unable to get address for procedure ") + (OnWindows() ? "strlen" : "printf"));
}

TEST_F(DllHandlerTest, MissingLibraryFailsWithSystemTextAndLogsStartLoadStop) {
  const std::string name = "velo_no_such_library_4711.dll";
  const std::string message = ErrorOf([&] { Make(name); });
  const std::string prefix = "Unable to Load Library " + name + ". ";
  ASSERT_EQ(message.substr(0, prefix.size()), prefix) << message;
  if (OnWindows()) {
    // 126: the module was not found.
    const std::string text = platform::SystemErrorMessage(126);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(message, prefix + text + " [126]");
  } else {
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
    // The POSIX loader has texts but no codes.
    EXPECT_EQ(message.substr(message.size() - 4), " [0]") << message;
  }
  EXPECT_EQ(Messages(LogFile()),
            (std::vector<std::string>{kStart, "kIOHandler_Dll.Create:Loading DLL " + name, kStop}));
}

TEST_F(DllHandlerTest, EmptyLibraryNameIsRefused) {
  // An empty name must not hand out the host program's own functions.
  const std::string message = ErrorOf([&] { Make(""); });
  EXPECT_EQ(message.substr(0, 25), "Unable to Load Library . ") << message;
}

TEST_F(DllHandlerTest, StreamSlotsSendNothing) {
  auto handler = Make(SystemCLibrary());
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler->Write("ignored"));
  EXPECT_EQ(handler->ReadUpTo({0x0A}), "");
  EXPECT_EQ(handler->ReadChars(3), "");
  EXPECT_EQ(handler->DecodeError(1), "");
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
  // Disconnect leaves the library loaded.
  EXPECT_NE(handler->GetAddress("strlen"), nullptr);
}

TEST_F(DllHandlerTest, ConnectBannerNamesTheDllHandler) {
  auto handler = Make(SystemCLibrary());
  EXPECT_TRUE(handler->Connect());
  handler.reset();
  const std::vector<std::string> lines = Messages(LogFile());
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[3], kStars);
  EXPECT_EQ(lines[4], "kIOHandler_Dll");
  EXPECT_EQ(lines[6], "ConnectTimeout=1000");
  EXPECT_EQ(lines[7], "ReadTimeout=1000");
}

}  // namespace
