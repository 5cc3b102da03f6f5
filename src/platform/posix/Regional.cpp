#include "platform/Regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string_view>

namespace platform {
namespace {

// The locale the environment names for a category, as the C library's "" would pick it.
const char* LocaleNameFor(const char* aCategory) {
  for (const char* var : {"LC_ALL", aCategory, "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

bool IsPlainLocale(std::string_view aName) {
  return aName.empty() || aName == "C" || aName == "POSIX" || aName.starts_with("C.");
}

// What follows the hour in a time format such as "%H.%M.%S", up to the next directive.
std::string SeparatorAfterHour(std::string_view aFormat) {
  if (aFormat.find("%T") != std::string_view::npos || aFormat.find("%R") != std::string_view::npos) {
    return ":";
  }
  for (size_t i = 0; i + 1 < aFormat.size(); ++i) {
    if (aFormat[i] != '%') continue;
    size_t next = i + 1;
    // Flags and the alternative forms ("%OH", "%-H") come before the conversion.
    while (next < aFormat.size() && std::string_view("-_0^#EO").find(aFormat[next]) != std::string_view::npos) {
      ++next;
    }
    if (next >= aFormat.size()) break;
    if (std::string_view("HIkl").find(aFormat[next]) == std::string_view::npos) {
      i = next;
      continue;
    }
    const size_t start = next + 1;
    size_t end = start;
    // One character, which may take several bytes.
    if (end < aFormat.size() && aFormat[end] != '%') {
      ++end;
      while (end < aFormat.size() && (static_cast<unsigned char>(aFormat[end]) & 0xC0) == 0x80) ++end;
    }
    return end > start ? std::string(aFormat.substr(start, end - start)) : std::string(":");
  }
  return ":";
}

}  // namespace

// Read without touching the process's global locale, which the host owns.
std::string RegionalDecimalSeparator() {
  if (IsPlainLocale(LocaleNameFor("LC_NUMERIC"))) return ".";
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", locale_t{});
  if (loc == locale_t{}) return ".";
  std::string separator = nl_langinfo_l(RADIXCHAR, loc);
  freelocale(loc);
  return separator.empty() ? "." : separator;
}

std::string RegionalTimeSeparator() {
  if (IsPlainLocale(LocaleNameFor("LC_TIME"))) return ":";
  locale_t loc = newlocale(LC_TIME_MASK, "", locale_t{});
  if (loc == locale_t{}) return ":";
  std::string separator = SeparatorAfterHour(nl_langinfo_l(T_FMT, loc));
  freelocale(loc);
  return separator;
}

}  // namespace platform
