#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "io/Connection.h"
#include "io/IOHandler_Dll.h"
#include "io/IoTestSupport.h"
#include "platform/Host.h"
#include "platform/Library.h"
#include "support/ScopedEnv.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using namespace iotest;

#ifdef _WIN32
bool MakeFifo(const std::string&) { return false; }
std::string LoadedLibraryPath(const std::string&) { return {}; }
#else
bool MakeFifo(const std::string& aPath) { return mkfifo(aPath.c_str(), 0600) == 0; }
// Where the running program has aName mapped from; empty when it has not.
std::string LoadedLibraryPath(const std::string& aName) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    const size_t slash = line.find('/');
    if (slash != std::string::npos && line.size() > aName.size() &&
        line.compare(line.size() - aName.size() - 1, std::string::npos, "/" + aName) == 0) {
      return line.substr(slash);
    }
  }
  return {};
}
#endif
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

// A library named in a request is a regular file: a plain name from the host's folder or
// the system's library path, or an absolute path. Anything else is refused before it is
// opened, so nothing can make the load wait.
TEST_F(DllHandlerTest, OnlyARegularFileIsLoaded) {
  std::vector<std::pair<std::string, std::string>> cases = {
      {Folder(), Folder() + " is a folder, not a library file"},
      {OnWindows() ? "sub\\vendor.dll" : "sub/vendor.so", "A library is named by a plain file name or an absolute path"},
      {OnWindows() ? ".\\vendor.dll" : "./vendor.so", "A library is named by a plain file name or an absolute path"},
  };
  if (OnWindows()) {
    cases.push_back({"\\\\.\\pipe\\velo", "\\\\.\\pipe\\velo is a device path, not a library file"});
    cases.push_back({"\\\\?\\C:\\vendor.dll", "\\\\?\\C:\\vendor.dll is a device path, not a library file"});
    cases.push_back({"\\\\server\\pipe\\velo", "\\\\server\\pipe\\velo is a pipe, not a library file"});
    cases.push_back({"COM1.dll", "COM1.dll is a device, not a library file"});
    cases.push_back({"C:\\x\\nul", "C:\\x\\nul is a device, not a library file"});
  } else {
    const std::string fifo = Path("vendor.so");
    ASSERT_TRUE(MakeFifo(fifo));
    cases.push_back({fifo, fifo + " is a pipe, not a library file"});
    cases.push_back({"/dev/null", "/dev/null is a device, not a library file"});
    // A plain name is looked up on the library path; what it finds there is checked too.
    ScopedEnv path("LD_LIBRARY_PATH", Folder());
    EXPECT_EQ(ErrorOf([&] { Make("vendor.so"); }),
              "Unable to Load Library vendor.so. " + fifo + " is a pipe, not a library file [0]");
  }
  for (const auto& [library, reason] : cases) {
    EXPECT_EQ(ErrorOf([&] { Make(library); }), "Unable to Load Library " + library + ". " + reason + " [0]");
  }
  EXPECT_EQ(Messages(LogFile()).back(), kStop);
}

// A plain name is found in the host program's folder first (the Windows loader looks
// there by itself; the POSIX loader does not).
TEST_F(DllHandlerTest, PlainNameIsFoundInTheHostsFolder) {
  if (OnWindows()) GTEST_SKIP() << "the system's own search order";
  const std::string system = LoadedLibraryPath("libm.so.6");
  ASSERT_FALSE(system.empty());
  const std::string name = "velo_dll_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".so";
  const std::string copy = GetExePath() + name;
  std::filesystem::copy_file(logtest::AsPath(system), logtest::AsPath(copy),
                             std::filesystem::copy_options::overwrite_existing);
  {
    auto handler = Make(name);
    EXPECT_NE(handler->GetAddress("cos"), nullptr);
  }
  std::error_code ignored;
  std::filesystem::remove(logtest::AsPath(copy), ignored);
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
