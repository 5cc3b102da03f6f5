#include "platform/Resources.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "core/DateTime.h"
#include "core/Text.h"

namespace platform {
namespace {

struct StringEntry {
  uint32_t fId;
  std::string_view fText;
};

// The same entries that the Windows build compiles into its resource section.
constexpr StringEntry kStringTable[] = {
#define VELO_STRING(aId, aText) {aId, aText},
#include "platform/StringTable.inc"
#undef VELO_STRING
};

// The C and POSIX locales describe no region; their "%m/%d/%y" would show the version
// dates with a two-digit year.
bool IsNeutralLocale(std::string_view aName) {
  return aName.empty() || aName == "C" || aName == "POSIX" || aName.starts_with("C.");
}

const char* TimeLocaleName() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

std::string LoadResourceString(uint32_t aId) {
  auto it = std::find_if(std::begin(kStringTable), std::end(kStringTable),
                         [aId](const StringEntry& e) { return e.fId == aId; });
  return it == std::end(kStringTable) ? std::string() : std::string(it->fText);
}

// Linux programs carry no raw-data resources.
std::optional<std::string> LoadRawResource(std::string_view) { return std::nullopt; }

// The library takes the ANSI code page to be 1252 outside Windows (AnsiCodePage); bytes
// that 1252 leaves undefined decode to the C1 controls, as on Windows.
std::string AnsiToUtf8(std::string_view aBytes) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  std::u16string text;
  text.reserve(aBytes.size());
  for (char c : aBytes) {
    auto byte = static_cast<unsigned char>(c);
    text.push_back(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t{byte});
  }
  return Utf16ToUtf8(text);
}

// The regional settings of a Linux process are the LC_TIME locale its environment names
// (LC_ALL, LC_TIME, LANG), read without touching the process's global locale. Without
// one, or when it is not installed, dates read day/month/four-digit year.
std::string FormatShortDate(int aYear, int aMonth, int aDay) {
  if (!IsValidDate(aYear, aMonth, aDay)) return {};
  if (!IsNeutralLocale(TimeLocaleName())) {
    locale_t loc = newlocale(LC_TIME_MASK, "", locale_t{});
    if (loc != locale_t{}) {
      struct tm tm {};
      tm.tm_year = aYear - 1900;
      tm.tm_mon = aMonth - 1;
      tm.tm_mday = aDay;
      char buffer[128];
      size_t n = strftime_l(buffer, sizeof buffer, nl_langinfo_l(D_FMT, loc), &tm, loc);
      freelocale(loc);
      if (n > 0) return std::string(buffer, n);
    }
  }
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", aDay, aMonth, aYear);
  return buffer;
}

}  // namespace platform
