#include <windows.h>

#include "platform/Regional.h"

namespace platform {

std::string RegionalDecimalSeparator() {
  wchar_t buffer[8];
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
  // Only the first character counts, as a number is read one character at a time.
  if (length < 2) return ".";
  char utf8[8];
  const int count = (buffer[0] >= 0xD800 && buffer[0] <= 0xDBFF && length > 2) ? 2 : 1;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, count, utf8, sizeof utf8, nullptr, nullptr);
  return bytes > 0 ? std::string(utf8, static_cast<size_t>(bytes)) : std::string(".");
}

}  // namespace platform
