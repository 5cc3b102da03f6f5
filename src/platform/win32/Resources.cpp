#include "platform/Resources.h"

#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "core/DateTime.h"
#include "core/Text.h"

// The image base of the module this code is linked into: the DLL when it runs inside a
// host, not the host's executable.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {
namespace {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

std::string FromWide(const wchar_t* aText, size_t aLength) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(aText), aLength));
}

}  // namespace

std::string LoadResourceString(uint32_t aId) {
  // A larger id would be taken for a resource name pointer.
  if (aId > kMaxStringId) return {};
  // With a zero buffer size LoadStringW hands out a pointer into the resource itself, so
  // no string is cut short by a buffer.
  const wchar_t* text = nullptr;
  int length = LoadStringW(ThisModule(), aId, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return FromWide(text, static_cast<size_t>(length));
}

std::optional<std::string> LoadRawResource(std::string_view aName) {
  std::u16string name = Utf8ToUtf16(aName);
  HMODULE module = ThisModule();
  HRSRC info = FindResourceW(module, reinterpret_cast<LPCWSTR>(name.c_str()), RT_RCDATA);
  if (info == nullptr) return std::nullopt;
  HGLOBAL handle = LoadResource(module, info);
  DWORD size = SizeofResource(module, info);
  const void* data = handle != nullptr ? LockResource(handle) : nullptr;
  if (data == nullptr) return std::nullopt;
  return std::string(static_cast<const char*>(data), size);
}

std::string AnsiToUtf8(std::string_view aBytes) {
  if (aBytes.empty()) return {};
  int length = MultiByteToWideChar(CP_ACP, 0, aBytes.data(), static_cast<int>(aBytes.size()),
                                   nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, aBytes.data(), static_cast<int>(aBytes.size()), wide.data(),
                      length);
  return FromWide(wide.data(), wide.size());
}

std::string FormatShortDate(int aYear, int aMonth, int aDay) {
  if (!IsValidDate(aYear, aMonth, aDay)) return {};
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(aYear);
  st.wMonth = static_cast<WORD>(aMonth);
  st.wDay = static_cast<WORD>(aDay);
  wchar_t buffer[128];
  int length = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer,
                              static_cast<int>(std::size(buffer)));
  if (length > 1) return FromWide(buffer, static_cast<size_t>(length - 1));
  // The regional settings could not be read: fall back to the day/month/year layout.
  char fallback[16];
  std::snprintf(fallback, sizeof fallback, "%02d/%02d/%04d", aDay, aMonth, aYear);
  return fallback;
}

}  // namespace platform
