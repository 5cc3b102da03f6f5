#include "hostlib/ProductLibrary.h"

#include <stdexcept>
#include <thread>

#include "core/Text.h"
#include "core/Utils.h"
#include "platform/Host.h"
#include "platform/Library.h"
#include "platform/Module.h"

std::string tkProductLibrary::PathOf(const std::string& aName) {
  return GetExePath() + aName + platform::kSharedLibrarySuffix;
}

tkProductLibrary::tkProductLibrary(const std::string& aName) { Load(PathOf(aName)); }

tkProductLibrary::tkProductLibrary(const tkLibraryFile& aFile) { Load(aFile.Path); }

void tkProductLibrary::Load(const std::string& aPath) {
  fPath = aPath;
  uint32_t code = 0;
  std::string text;
  fLibrary = platform::LoadLibraryFile(aPath, code, text);
  if (!fLibrary) throw std::runtime_error("cannot load " + aPath + ": " + text);
  void* provider = fLibrary;
  if (*platform::kBstrProviderLibrary) {
    fBstrLibrary = platform::LoadLibraryFile(platform::kBstrProviderLibrary, code, text);
    if (!fBstrLibrary) {
      Unload();
      throw std::runtime_error("cannot load the string allocator: " + text);
    }
    provider = fBstrLibrary;
  }
  fAlloc = reinterpret_cast<decltype(fAlloc)>(platform::LibraryProcAddress(provider, "SysAllocStringLen"));
  fFree = reinterpret_cast<decltype(fFree)>(platform::LibraryProcAddress(provider, "SysFreeString"));
  fLength = reinterpret_cast<decltype(fLength)>(platform::LibraryProcAddress(provider, "SysStringLen"));
  if (!fAlloc || !fFree || !fLength) {
    // The constructor fails, so the destructor will not run: release what was taken.
    Unload();
    if (fBstrLibrary) platform::FreeLibraryFile(fBstrLibrary);
    fBstrLibrary = nullptr;
    throw std::runtime_error("no string helpers in " + aPath);
  }
}

tkProductLibrary::~tkProductLibrary() {
  if (!fUnloadOnDestroy) return;
  Unload();
  if (fBstrLibrary) platform::FreeLibraryFile(fBstrLibrary);
}

tkUnloadResult tkProductLibrary::Unload(std::chrono::milliseconds aWait) {
  tkUnloadResult result;
  if (!fLibrary) return result;
  platform::FreeLibraryFile(fLibrary);
  fLibrary = nullptr;
  // On Windows a log worker still writing holds the library; it leaves, and the devices
  // write their STOP lines, when that worker ends.
  if (!platform::IsLibraryLoaded(fPath)) return result;
  result.Deferred = true;
  const auto giveUp = std::chrono::steady_clock::now() + aWait;
  while (platform::IsLibraryLoaded(fPath)) {
    if (std::chrono::steady_clock::now() > giveUp) {
      result.Gone = false;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return result;
}

void* tkProductLibrary::Symbol(const char* aName) const {
  return platform::LibraryProcAddress(fLibrary, aName);
}

tkExport16 tkProductLibrary::Export(const char* aName) const {
  auto function = reinterpret_cast<tkExport16>(Symbol(aName));
  if (!function) throw std::runtime_error(std::string("no export ") + aName + " in " + fPath);
  return function;
}

tkExport32 tkProductLibrary::Export32(const char* aName) const {
  auto function = reinterpret_cast<tkExport32>(Symbol(aName));
  if (!function) throw std::runtime_error(std::string("no export ") + aName + " in " + fPath);
  return function;
}

platform::Bstr tkProductLibrary::Alloc(std::u16string_view aText) const {
  return fAlloc(aText.data(), static_cast<uint32_t>(aText.size()));
}

void tkProductLibrary::Free(platform::Bstr aText) const { fFree(aText); }

uint32_t tkProductLibrary::Length(platform::Bstr aText) const { return fLength(aText); }

tkAnswer tkProductLibrary::Call(const char* aExport, std::string_view aRequest) const {
  // Looked up first, so a missing export does not leave the request string behind.
  Export(aExport);
  return CallWith(aExport, Alloc(Utf8ToUtf16(aRequest)));
}

tkAnswer tkProductLibrary::CallWith(const char* aExport, platform::Bstr aRequest) const {
  tkExport16 function = nullptr;
  try {
    function = Export(aExport);
  } catch (...) {
    Free(aRequest);
    throw;
  }
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

std::string Element(const std::string& aFragment, std::string_view aName) {
  const std::string open = "<" + std::string(aName) + ">";
  const std::string close = "</" + std::string(aName) + ">";
  const size_t start = aFragment.find(open);
  if (start == std::string::npos) return "<missing>";
  const size_t end = aFragment.find(close, start);
  if (end == std::string::npos) return "<missing>";
  return aFragment.substr(start + open.size(), end - start - open.size());
}
