#include "app/TextResource.h"

#include "core/Text.h"
#include "platform/Resources.h"

namespace {

std::u16string Utf16Units(std::string_view aBytes, bool aBigEndian) {
  std::u16string units;
  units.reserve(aBytes.size() / 2);
  for (size_t i = 0; i + 1 < aBytes.size(); i += 2) {
    auto a = static_cast<unsigned char>(aBytes[i]);
    auto b = static_cast<unsigned char>(aBytes[i + 1]);
    units.push_back(static_cast<char16_t>(aBigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  return units;
}

}  // namespace

std::vector<std::string> TextResourceLines(std::string_view aBytes) {
  std::string text;
  if (aBytes.starts_with("\xEF\xBB\xBF")) {
    text = Utf16ToUtf8(Utf8ToUtf16(aBytes.substr(3)));  // malformed sequences become U+FFFD
  } else if (aBytes.starts_with("\xFF\xFE")) {
    text = Utf16ToUtf8(Utf16Units(aBytes.substr(2), false));
  } else if (aBytes.starts_with("\xFE\xFF")) {
    text = Utf16ToUtf8(Utf16Units(aBytes.substr(2), true));
  } else {
    text = platform::AnsiToUtf8(aBytes);
  }
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}
