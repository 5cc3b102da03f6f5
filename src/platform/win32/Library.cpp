#include <windows.h>

#include "core/Text.h"
#include "platform/Library.h"

namespace platform {

void* LoadLibraryFile(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText) {
  const std::u16string name = Utf8ToUtf16(aName);
  // A broken library must fail the call, not put a system dialog in front of the till.
  DWORD oldMode = 0;
  const BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t*>(name.c_str()));
  const DWORD error = module == nullptr ? GetLastError() : 0;
  if (modeSet) SetThreadErrorMode(oldMode, nullptr);
  if (module != nullptr) return reinterpret_cast<void*>(module);
  aErrorCode = error;
  aErrorText = SystemErrorMessage(error);
  return nullptr;
}

void* LibraryProcAddress(void* aLibrary, const std::string& aProcName) {
  if (aLibrary == nullptr || aProcName.empty()) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(aLibrary), aProcName.c_str()));
}

void FreeLibraryFile(void* aLibrary) {
  if (aLibrary != nullptr) FreeLibrary(static_cast<HMODULE>(aLibrary));
}

std::string SystemErrorMessage(uint32_t aErrorCode) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, aErrorCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return {};
  std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
  LocalFree(buffer);
  // System texts end with a line break.
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
  return Utf16ToUtf8(text);
}

}  // namespace platform
