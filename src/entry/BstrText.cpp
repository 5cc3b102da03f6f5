#include "entry/BstrText.h"

#include <cstdint>
#include <limits>
#include <new>

#include "core/Text.h"

std::string BstrToUtf8(const char16_t* aText) {
  if (!aText) return std::string();
  const uint32_t bytes = platform::BstrByteLength(aText);
  std::string text = Utf16ToUtf8(std::u16string_view(aText, bytes / 2));
  if (bytes % 2 != 0) text += "\xEF\xBF\xBD";
  return text;
}

void AssignBstr(platform::Bstr& aTarget, std::string_view aText) {
  platform::Bstr fresh = nullptr;
  if (!aText.empty()) {
    // Measured first and converted in place: no text in between to fill, copy and free.
    const size_t units = Utf16Length(aText);
    if (units > std::numeric_limits<uint32_t>::max() / 2) throw std::bad_alloc();
    fresh = platform::BstrAllocUnfilled(static_cast<uint32_t>(units));
    if (!fresh) throw std::bad_alloc();
    Utf8ToUtf16(aText, fresh);
  }
  platform::BstrFree(aTarget);
  aTarget = fresh;
}
