#include "e2e/ProductLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/Text.h"
#include "base/Utils.h"
#include "platform/Library.h"
#include "platform/Module.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {
constexpr std::chrono::seconds kUnloadWait{30};
}

std::string tkProductLibrary::PathOf(const std::string& aName) {
  return GetExePath() + aName + platform::kSharedLibrarySuffix;
}

tkProductLibrary::tkProductLibrary(const std::string& aName) {
  uint32_t code = 0;
  std::string text;
  fPath = PathOf(aName);
  fLibrary = platform::LoadLibraryFile(fPath, code, text);
  if (!fLibrary) throw std::runtime_error("cannot load " + PathOf(aName) + ": " + text);
  void* provider = fLibrary;
  if (*platform::kBstrProviderLibrary) {
    fBstrLibrary = platform::LoadLibraryFile(platform::kBstrProviderLibrary, code, text);
    if (!fBstrLibrary) throw std::runtime_error("cannot load the string allocator: " + text);
    provider = fBstrLibrary;
  }
  fAlloc = reinterpret_cast<decltype(fAlloc)>(platform::LibraryProcAddress(provider, "SysAllocStringLen"));
  fFree = reinterpret_cast<decltype(fFree)>(platform::LibraryProcAddress(provider, "SysFreeString"));
  fLength = reinterpret_cast<decltype(fLength)>(platform::LibraryProcAddress(provider, "SysStringLen"));
  if (!fAlloc || !fFree || !fLength) throw std::runtime_error("no string helpers in " + aName);
}

tkProductLibrary::~tkProductLibrary() {
  Unload();
  if (fBstrLibrary) platform::FreeLibraryFile(fBstrLibrary);
}

bool tkProductLibrary::Unload() {
  if (!fLibrary) return false;
  platform::FreeLibraryFile(fLibrary);
  fLibrary = nullptr;
  // On Windows a log worker still writing holds the library: the unload, and with it the
  // devices' STOP lines, then comes when that worker ends, on its thread. Wait for it, so
  // the files are complete and the next load gets a fresh copy.
  if (!platform::IsLibraryLoaded(fPath)) return false;
  const auto giveUp = std::chrono::steady_clock::now() + kUnloadWait;
  while (platform::IsLibraryLoaded(fPath)) {
    if (std::chrono::steady_clock::now() > giveUp) {
      ADD_FAILURE() << fPath << " still loaded " << kUnloadWait.count() << " s after its last release";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void* tkProductLibrary::Symbol(const char* aName) const {
  return platform::LibraryProcAddress(fLibrary, aName);
}

tkExport16 tkProductLibrary::Export(const char* aName) const {
  auto function = reinterpret_cast<tkExport16>(Symbol(aName));
  if (!function) throw std::runtime_error(std::string("no export ") + aName);
  return function;
}

tkExport32 tkProductLibrary::Export32(const char* aName) const {
  auto function = reinterpret_cast<tkExport32>(Symbol(aName));
  if (!function) throw std::runtime_error(std::string("no export ") + aName);
  return function;
}

platform::Bstr tkProductLibrary::Alloc(std::u16string_view aText) const {
  return fAlloc(aText.data(), static_cast<uint32_t>(aText.size()));
}

void tkProductLibrary::Free(platform::Bstr aText) const { fFree(aText); }

uint32_t tkProductLibrary::Length(platform::Bstr aText) const { return fLength(aText); }

tkAnswer tkProductLibrary::Call(const char* aExport, std::string_view aRequest) const {
  return CallWith(aExport, Alloc(Utf8ToUtf16(aRequest)));
}

tkAnswer tkProductLibrary::CallWith(const char* aExport, platform::Bstr aRequest) const {
  tkExport16 function = Export(aExport);
  platform::Bstr output = nullptr;
  platform::Bstr error = nullptr;
  tkAnswer answer;
  answer.Result = function(aRequest, &output, &error);
  answer.OutputNull = output == nullptr;
  answer.ErrorNull = error == nullptr;
  answer.Output = Utf16ToUtf8(std::u16string_view(output ? output : u"", Length(output)));
  answer.Error = Utf16ToUtf8(std::u16string_view(error ? error : u"", Length(error)));
  Free(output);
  Free(error);
  Free(aRequest);
  return answer;
}

std::string Request(std::string_view aDriver, int32_t aHandle, std::string_view aLogId, std::string_view aBody) {
  std::string xml = "<Request><Driver>";
  xml += aDriver;
  xml += "</Driver>";
  if (aHandle != 0) xml += "<Handle>" + std::to_string(aHandle) + "</Handle>";
  xml += "<LogId>";
  xml += aLogId;
  xml += "</LogId><Connection><Type>COM</Type></Connection>";
  xml += aBody;
  xml += "</Request>";
  return xml;
}

std::string Element(const std::string& aFragment, std::string_view aName) {
  const std::string open = "<" + std::string(aName) + ">";
  const std::string close = "</" + std::string(aName) + ">";
  const size_t start = aFragment.find(open);
  if (start == std::string::npos) return "<missing>";
  const size_t end = aFragment.find(close, start);
  if (end == std::string::npos) return "<missing>";
  return aFragment.substr(start + open.size(), end - start - open.size());
}

std::string PaymentLogFolder() {
  return GetExePath() + "LogFiles" + platform::kPathDelim + "Payment" + platform::kPathDelim;
}

namespace {

std::vector<fs::path> DeviceLogs(std::string_view aDriver, std::string_view aLogId) {
  std::vector<fs::path> logs;
  const std::string prefix = std::string(aDriver) + "_" + std::string(aLogId) + "_";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(PaymentLogFolder()), error)) {
    const std::string name = entry.path().filename().string();
    // The daily name: prefix + yyyymmdd + ".log".
    if (name.size() == prefix.size() + 12 && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - 4, 4, ".log") == 0) {
      logs.push_back(entry.path());
    }
  }
  return logs;
}

}  // namespace

std::string ReadDeviceLogs(std::string_view aDriver, std::string_view aLogId) {
  std::string text;
  for (const fs::path& log : DeviceLogs(aDriver, aLogId)) {
    std::ifstream file(log, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return text;
}

void RemoveDeviceLogs(std::string_view aDriver, std::string_view aLogId) {
  for (const fs::path& log : DeviceLogs(aDriver, aLogId)) {
    std::error_code error;
    fs::remove(log, error);
  }
}
