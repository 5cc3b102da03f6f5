#include "platform/Regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string_view>

namespace platform {
namespace {

// The locale the environment names for numbers, as the C library's "" would pick it.
const char* NumericLocaleName() {
  for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

// Read without touching the process's global locale, which the host owns.
std::string RegionalDecimalSeparator() {
  const std::string_view name = NumericLocaleName();
  if (name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.")) return ".";
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", locale_t{});
  if (loc == locale_t{}) return ".";
  std::string separator = nl_langinfo_l(RADIXCHAR, loc);
  freelocale(loc);
  return separator.empty() ? "." : separator;
}

}  // namespace platform
