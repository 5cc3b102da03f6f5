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
    const std::u16string wide = Utf8ToUtf16(aText);
    if (wide.size() > std::numeric_limits<uint32_t>::max() / 2) throw std::bad_alloc();
    fresh = platform::BstrAlloc(wide.data(), static_cast<uint32_t>(wide.size()));
    if (!fresh) throw std::bad_alloc();
  }
  platform::BstrFree(aTarget);
  aTarget = fresh;
}
