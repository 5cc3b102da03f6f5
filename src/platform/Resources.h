#pragma once
// This library's own resources and the regional date format. Every text here is UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Highest id a string table can hold.
inline constexpr uint32_t kMaxStringId = 0xFFFF;

// String aId of the string table built into the module that holds this code (the
// library, or a program linked with the same table), whole; empty when the table has no
// such string. Ids above kMaxStringId are never present.
std::string LoadResourceString(uint32_t aId);

// The raw-data resource (type 10) named aName in the same module, as bytes; nullopt when
// there is none.
std::optional<std::string> LoadRawResource(std::string_view aName);

// Text in the system's ANSI code page, as UTF-8. Bytes that cannot be decoded become
// U+FFFD.
std::string AnsiToUtf8(std::string_view aBytes);

// The date in the short date format of the process's regional settings. An invalid date
// gives the empty text.
std::string FormatShortDate(int aYear, int aMonth, int aDay);

}  // namespace platform
