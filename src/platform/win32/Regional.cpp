#include <windows.h>

#include "platform/Regional.h"

namespace platform {

namespace {

// The first character of a locale setting, or aDefault.
std::string FirstCharacterOf(LCTYPE aSetting, const char* aDefault) {
  wchar_t buffer[8];
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, aSetting, buffer, 8);
  if (length < 2) return aDefault;
  char utf8[8];
  const int count = (buffer[0] >= 0xD800 && buffer[0] <= 0xDBFF && length > 2) ? 2 : 1;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, count, utf8, sizeof utf8, nullptr, nullptr);
  return bytes > 0 ? std::string(utf8, static_cast<size_t>(bytes)) : std::string(aDefault);
}

}  // namespace

// Only the first character counts, as a number is read one character at a time.
std::string RegionalDecimalSeparator() { return FirstCharacterOf(LOCALE_SDECIMAL, "."); }

std::string RegionalTimeSeparator() { return FirstCharacterOf(LOCALE_STIME, ":"); }

}  // namespace platform
