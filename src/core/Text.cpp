#include "core/Text.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the code point at aPos. A byte that does not begin a well-formed sequence
// (overlong forms, encoded surrogates and values above U+10FFFF included) is consumed
// alone and reported as U+FFFD.
char32_t DecodeAt(std::string_view aText, size_t aPos, size_t& aLength) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(aText[i]); };
  const uint8_t b0 = byte(aPos);
  aLength = 1;
  if (b0 < 0x80) return b0;

  size_t need;
  char32_t cp;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1; cp = b0 & 0x1F; min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2; cp = b0 & 0x0F; min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3; cp = b0 & 0x07; min = 0x10000;
  } else {
    return kReplacement;
  }
  if (aText.size() - aPos <= need) return kReplacement;
  for (size_t i = 1; i <= need; ++i) {
    const uint8_t b = byte(aPos + i);
    if ((b & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  aLength = need + 1;
  return cp;
}

size_t LengthAt(std::string_view aText, size_t aPos) {
  size_t len;
  DecodeAt(aText, aPos, len);
  return len;
}

// Byte offset of code point aIndex, or the text's size when it has fewer.
size_t OffsetOfCodePoint(std::string_view aText, size_t aIndex) {
  size_t pos = 0;
  while (aIndex > 0 && pos < aText.size()) {
    pos += LengthAt(aText, pos);
    --aIndex;
  }
  return pos;
}

// The four UTF-16 units at aUnits are all ASCII.
bool AsciiUnits(const char16_t* aUnits) {
  uint64_t word;
  std::memcpy(&word, aUnits, sizeof word);
  return (word & 0xFF80FF80FF80FF80u) == 0;
}

char* PutUtf8(char* aOut, char32_t aCp) {
  if (aCp < 0x80) {
    *aOut++ = static_cast<char>(aCp);
  } else if (aCp < 0x800) {
    *aOut++ = static_cast<char>(0xC0 | (aCp >> 6));
    *aOut++ = static_cast<char>(0x80 | (aCp & 0x3F));
  } else if (aCp < 0x10000) {
    *aOut++ = static_cast<char>(0xE0 | (aCp >> 12));
    *aOut++ = static_cast<char>(0x80 | ((aCp >> 6) & 0x3F));
    *aOut++ = static_cast<char>(0x80 | (aCp & 0x3F));
  } else {
    *aOut++ = static_cast<char>(0xF0 | (aCp >> 18));
    *aOut++ = static_cast<char>(0x80 | ((aCp >> 12) & 0x3F));
    *aOut++ = static_cast<char>(0x80 | ((aCp >> 6) & 0x3F));
    *aOut++ = static_cast<char>(0x80 | (aCp & 0x3F));
  }
  return aOut;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool Utf8CodePointAt(std::string_view aText, size_t aPos, char32_t& aCodePoint, size_t& aLength) {
  aCodePoint = DecodeAt(aText, aPos, aLength);
  // A well-formed U+FFFD takes three bytes.
  return !(aCodePoint == kReplacement && aLength == 1);
}

std::string Utf16ToUtf8(std::u16string_view aText) {
  // Measured first, so that the text is written in place with room for exactly itself.
  size_t bytes = 0;
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText.size() - i >= 4 && AsciiUnits(aText.data() + i)) {
      bytes += 4;
      i += 3;
      continue;
    }
    const char16_t u = aText[i];
    if (u < 0x80) {
      bytes += 1;
    } else if (u < 0x800) {
      bytes += 2;
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 &&
               aText[i + 1] <= 0xDFFF) {
      bytes += 4;
      ++i;
    } else {
      bytes += 3;  // U+FFFD for an unpaired surrogate takes three too
    }
  }
  std::string out(bytes, '\0');
  char* o = out.data();
  for (size_t i = 0; i < aText.size(); ++i) {
    if (aText.size() - i >= 4 && AsciiUnits(aText.data() + i)) {
      for (size_t k = 0; k < 4; ++k) o[k] = static_cast<char>(aText[i + k]);
      o += 4;
      i += 3;
      continue;
    }
    const char16_t u = aText[i];
    if (u < 0x80) {
      *o++ = static_cast<char>(u);
      continue;
    }
    char32_t cp = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 &&
        aText[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      cp = kReplacement;
    }
    o = PutUtf8(o, cp);
  }
  return out;
}

namespace {

// The length of the run of ASCII bytes at aPos, measured eight at a time: most of what
// passes here is plain text. May stop short of the run's end by up to seven bytes.
size_t AsciiWords(std::string_view aText, size_t aPos) {
  const size_t start = aPos;
  uint64_t word;
  while (aText.size() - aPos >= sizeof word) {
    std::memcpy(&word, aText.data() + aPos, sizeof word);
    if (word & 0x8080808080808080u) break;
    aPos += sizeof word;
  }
  return aPos - start;
}

// Eight ASCII bytes to eight UTF-16 units, a word at a time.
void WidenAscii(const unsigned char* aBytes, char16_t* aOut) {
  static_assert(std::endian::native == std::endian::little);
  for (size_t half = 0; half < 2; ++half) {
    uint32_t four;
    std::memcpy(&four, aBytes + 4 * half, sizeof four);
    uint64_t units = four;
    units = (units | units << 16) & 0x0000FFFF0000FFFFu;
    units = (units | units << 8) & 0x00FF00FF00FF00FFu;
    std::memcpy(aOut + 4 * half, &units, sizeof units);
  }
}

}  // namespace

size_t Utf16Length(std::string_view aText) {
  size_t units = 0;
  size_t pos = 0;
  while (pos < aText.size()) {
    const size_t ascii = AsciiWords(aText, pos);
    units += ascii;
    pos += ascii;
    if (pos == aText.size()) break;
    size_t len;
    units += DecodeAt(aText, pos, len) >= 0x10000 ? 2 : 1;
    pos += len;
  }
  return units;
}

size_t Utf8ToUtf16(std::string_view aText, char16_t* aOut) {
  char16_t* o = aOut;
  const auto* p = reinterpret_cast<const unsigned char*>(aText.data());
  size_t pos = 0;
  while (pos < aText.size()) {
    const size_t ascii = AsciiWords(aText, pos);
    for (size_t k = 0; k < ascii; k += sizeof(uint64_t)) WidenAscii(p + pos + k, o + k);
    o += ascii;
    pos += ascii;
    if (pos == aText.size()) break;
    if (p[pos] < 0x80) {
      *o++ = p[pos++];
      continue;
    }
    size_t len;
    const char32_t cp = DecodeAt(aText, pos, len);
    pos += len;
    if (cp >= 0x10000) {
      *o++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
  }
  return static_cast<size_t>(o - aOut);
}

std::u16string Utf8ToUtf16(std::string_view aText) {
  // Never more units than bytes: written in place, then cut to size.
  std::u16string out(aText.size(), u'\0');
  out.resize(Utf8ToUtf16(aText, out.data()));
  return out;
}

size_t CodePointCount(std::string_view aText) {
  size_t count = 0;
  for (size_t pos = 0; pos < aText.size(); pos += LengthAt(aText, pos)) ++count;
  return count;
}

std::string_view LeftCodePoints(std::string_view aText, size_t aCount) {
  return aText.substr(0, OffsetOfCodePoint(aText, aCount));
}

std::string_view MidCodePoints(std::string_view aText, size_t aFirst, size_t aCount) {
  const std::string_view rest = aText.substr(OffsetOfCodePoint(aText, aFirst));
  return LeftCodePoints(rest, aCount);
}

std::string LowerCase(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string UpperCase(std::string_view aText) {
  std::string out(aText);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool StartsWithText(std::string_view aText, std::string_view aPrefix) {
  return aText.size() >= aPrefix.size() && SameText(aText.substr(0, aPrefix.size()), aPrefix);
}

std::string StringReplaceAll(std::string_view aText, std::string_view aFrom, std::string_view aTo) {
  if (aFrom.empty()) return std::string(aText);
  std::string out;
  out.reserve(aText.size());
  size_t pos = 0;
  for (size_t hit; (hit = aText.find(aFrom, pos)) != std::string_view::npos;
       pos = hit + aFrom.size()) {
    out.append(aText.substr(pos, hit - pos));
    out.append(aTo);
  }
  out.append(aText.substr(pos));
  return out;
}
