// A POS host on the command line: loads a build of the product library by file name from
// this program's folder and calls its exports.
//
//   velo_testhost <library> call <EXPORT> <request file>
//       one call; prints the result code, the fragment and the error text
//   velo_testhost <library> exit-with-open-devices <log id> [at-once]
//       opens two test-driver devices (log ids <log id> and <log id>b), pays on the first
//       and ends the process without unloading the library: the library then closes the
//       devices while the process exits. First it waits until both logs are written and
//       closed, as they are when a till is shut down; with at-once it ends right away,
//       while the logs are still being written
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>

#include "core/Text.h"
#include "core/Utils.h"
#include "platform/Bstr.h"
#include "platform/Host.h"
#include "platform/Library.h"
#include "platform/Platform.h"

namespace {

using tkExport = int16_t(VELO_STDCALL*)(platform::Bstr, platform::Bstr*, platform::Bstr*);

struct tkHost {
  void* fLibrary = nullptr;
  platform::Bstr(VELO_STDCALL* fAlloc)(const char16_t*, uint32_t) = nullptr;
  void(VELO_STDCALL* fFree)(platform::Bstr) = nullptr;
  uint32_t(VELO_STDCALL* fLength)(platform::Bstr) = nullptr;

  bool Load(const std::string& aName) {
    uint32_t code = 0;
    std::string text;
    const std::string path = GetExePath() + aName + platform::kSharedLibrarySuffix;
    fLibrary = platform::LoadLibraryFile(path, code, text);
    if (!fLibrary) {
      std::cerr << "cannot load " << path << ": " << text << "\n";
      return false;
    }
    void* provider = fLibrary;
    if (*platform::kBstrProviderLibrary) provider = platform::LoadLibraryFile(platform::kBstrProviderLibrary, code, text);
    fAlloc = reinterpret_cast<decltype(fAlloc)>(platform::LibraryProcAddress(provider, "SysAllocStringLen"));
    fFree = reinterpret_cast<decltype(fFree)>(platform::LibraryProcAddress(provider, "SysFreeString"));
    fLength = reinterpret_cast<decltype(fLength)>(platform::LibraryProcAddress(provider, "SysStringLen"));
    if (!fAlloc || !fFree || !fLength) {
      std::cerr << "no string helpers\n";
      return false;
    }
    return true;
  }

  // -2 when the library has no such export.
  int Call(const std::string& aExport, const std::string& aRequest, std::string& aOutput, std::string& aError) {
    auto function = reinterpret_cast<tkExport>(platform::LibraryProcAddress(fLibrary, aExport));
    if (!function) return -2;
    const std::u16string request = Utf8ToUtf16(aRequest);
    platform::Bstr in = fAlloc(request.data(), static_cast<uint32_t>(request.size()));
    platform::Bstr out = nullptr, error = nullptr;
    const int16_t result = function(in, &out, &error);
    aOutput = Utf16ToUtf8(std::u16string_view(out ? out : u"", fLength(out)));
    aError = Utf16ToUtf8(std::u16string_view(error ? error : u"", fLength(error)));
    fFree(out);
    fFree(error);
    fFree(in);
    return result;
  }
};

std::string DeviceRequest(const std::string& aLogId, int aHandle, const std::string& aBody) {
  std::string xml = "<Request><Driver>VELO_TEST_DRIVER</Driver><LogId>" + aLogId + "</LogId>";
  if (aHandle) xml += "<Handle>" + std::to_string(aHandle) + "</Handle>";
  return xml + "<Connection><Type>COM</Type></Connection>" + aBody + "</Request>";
}

// The test driver's log of aLogId for today holds aText and no writer has it open.
bool LogSettled(const std::string& aLogId, const std::string& aText) {
  const DateTimeParts now = platform::LocalNow();
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", now.Year, now.Month, now.Day);
  const std::string path = GetExePath() + "LogFiles" + platform::kPathDelim + "Payment" + platform::kPathDelim +
                           "VELO_TEST_DRIVER_" + aLogId + "_" + date + ".log";
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < giveUp) {
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    platform::SharedAppendFile probe;
    if (text.find(aText) != std::string::npos && probe.Open(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

int Usage() {
  std::cerr << "usage: velo_testhost <library> call <EXPORT> <request file>\n"
               "       velo_testhost <library> exit-with-open-devices <log id> [at-once]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string mode = argv[2];
  tkHost host;
  if (!host.Load(argv[1])) return 1;
  std::string output, error;

  if (mode == "call" && argc == 5) {
    std::ifstream file(argv[4], std::ios::binary);
    if (!file) {
      std::cerr << "cannot read " << argv[4] << "\n";
      return 1;
    }
    const std::string request{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const int result = host.Call(argv[3], request, output, error);
    if (result == -2) {
      std::cerr << "no export " << argv[3] << "\n";
      return 1;
    }
    std::cout << "result: " << result << "\n" << output << "\nerror: " << error << "\n";
    return 0;
  }

  if (mode == "exit-with-open-devices") {
    const std::string logId = argv[3];
    if (host.Call("OPEN", DeviceRequest(logId, 0, ""), output, error) != 0 ||
        host.Call("OPEN", DeviceRequest(logId + "b", 0, ""), output, error) != 0 ||
        host.Call("PAY", DeviceRequest(logId, 1, "<Payment><Reference>before exit</Reference></Payment>"),
                  output, error) != 0) {
      std::cerr << "calls failed: " << error << "\n";
      return 1;
    }
    const bool atOnce = argc > 4 && std::string(argv[4]) == "at-once";
    if (!atOnce && !(LogSettled(logId, "TestDriver.DoPay:before exit") && LogSettled(logId + "b", "START"))) {
      std::cerr << "the device logs were not written in time\n";
      return 1;
    }
    std::cout.flush();
    // No FreeLibrary: the process ends with both devices open.
    std::exit(0);
  }
  return Usage();
}
