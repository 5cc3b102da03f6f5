// The code pages whose bytes follow from Unicode alone are converted here, the same way
// on every system; the rest go to the system's conversion.
#include <string>
#include <string_view>

#include "core/Text.h"
#include "platform/CodePageSystem.h"
#include "platform/Platform.h"

namespace {

constexpr int kEightBit = 0;
constexpr int kUtf16LE = 1200;
constexpr int kUtf16BE = 1201;
constexpr int kUsAscii = 20127;
constexpr int kUtf8 = 65001;

// Code points of a UTF-8 text, invalid bytes as U+FFFD.
template <class F>
void ForEachCodePoint(std::string_view aUtf8, F&& aVisit) {
  const std::u16string units = Utf8ToUtf16(aUtf8);
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    aVisit(cp);
  }
}

std::string Utf16Bytes(std::string_view aUtf8, bool aBigEndian) {
  const std::u16string units = Utf8ToUtf16(aUtf8);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes.push_back(aBigEndian ? high : low);
    bytes.push_back(aBigEndian ? low : high);
  }
  return bytes;
}

std::string Utf16Text(std::string_view aBytes, bool aBigEndian) {
  std::u16string units;
  units.reserve(aBytes.size() / 2 + 1);
  for (size_t i = 0; i + 1 < aBytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(aBytes[i]);
    const auto second = static_cast<unsigned char>(aBytes[i + 1]);
    units.push_back(static_cast<char16_t>(aBigEndian ? (first << 8) | second : (second << 8) | first));
  }
  // A lone last byte is half a character.
  if (aBytes.size() % 2 != 0) units.push_back(u'\uFFFD');
  return Utf16ToUtf8(units);
}

// Code points up to aLimit as one byte each, others '?'.
std::string SingleBytes(std::string_view aUtf8, char32_t aLimit) {
  std::string bytes;
  bytes.reserve(aUtf8.size());
  ForEachCodePoint(aUtf8, [&](char32_t cp) { bytes.push_back(cp <= aLimit ? static_cast<char>(cp) : '?'); });
  return bytes;
}

}  // namespace

namespace platform {

std::string EncodeText(std::string_view aUtf8, int aCodePage) {
  switch (aCodePage) {
    case kEightBit: return SingleBytes(aUtf8, 0xFF);
    case kUsAscii: return SingleBytes(aUtf8, 0x7F);
    case kUtf8: return Utf16ToUtf8(Utf8ToUtf16(aUtf8));  // invalid bytes as U+FFFD
    case kUtf16LE: return Utf16Bytes(aUtf8, false);
    case kUtf16BE: return Utf16Bytes(aUtf8, true);
    default: return detail::SystemEncode(Utf8ToUtf16(aUtf8), aCodePage);
  }
}

std::string DecodeText(std::string_view aBytes, int aCodePage) {
  switch (aCodePage) {
    case kEightBit:
    case kUsAscii: {
      std::u16string units;
      units.reserve(aBytes.size());
      for (char c : aBytes) {
        const auto byte = static_cast<unsigned char>(c);
        units.push_back(aCodePage == kUsAscii && byte > 0x7F ? u'?' : char16_t{byte});
      }
      return Utf16ToUtf8(units);
    }
    case kUtf8: return Utf16ToUtf8(Utf8ToUtf16(aBytes));
    case kUtf16LE: return Utf16Text(aBytes, false);
    case kUtf16BE: return Utf16Text(aBytes, true);
    default: return Utf16ToUtf8(detail::SystemDecode(aBytes, aCodePage));
  }
}

}  // namespace platform
