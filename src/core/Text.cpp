#include "core/Text.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Most text that crosses the edges is plain ASCII, so runs of it are found and converted
// sixteen bytes (eight units) at a time where the machine has SSE2, else a word at a time.

// The length of the run of ASCII bytes that starts at aPos.
size_t AsciiRun(const unsigned char* aBytes, size_t aPos, size_t aSize) {
  size_t pos = aPos;
#ifdef __SSE2__
  while (aSize - pos >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aBytes + pos));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
    if (high != 0) return pos + std::countr_zero(high) - aPos;
    pos += 16;
  }
#endif
  static_assert(std::endian::native == std::endian::little);
  uint64_t word;
  while (aSize - pos >= sizeof word) {
    std::memcpy(&word, aBytes + pos, sizeof word);
    const uint64_t high = word & 0x8080808080808080u;
    if (high != 0) return pos + std::countr_zero(high) / 8 - aPos;
    pos += sizeof word;
  }
  while (pos < aSize && aBytes[pos] < 0x80) ++pos;
  return pos - aPos;
}

// aCount ASCII bytes to as many UTF-16 units.
void WidenAscii(const unsigned char* aBytes, size_t aCount, char16_t* aOut) {
  size_t k = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  for (; aCount - k >= 16; k += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aBytes + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(aOut + k), _mm_unpacklo_epi8(block, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(aOut + k + 8), _mm_unpackhi_epi8(block, zero));
  }
#endif
  for (; aCount - k >= 4; k += 4) {
    uint32_t four;
    std::memcpy(&four, aBytes + k, sizeof four);
    uint64_t units = four;
    units = (units | units << 16) & 0x0000FFFF0000FFFFu;
    units = (units | units << 8) & 0x00FF00FF00FF00FFu;
    std::memcpy(aOut + k, &units, sizeof units);
  }
  for (; k < aCount; ++k) aOut[k] = aBytes[k];
}

// The length of the run of ASCII units that starts at aPos.
size_t AsciiUnitRun(const char16_t* aUnits, size_t aPos, size_t aSize) {
  size_t pos = aPos;
#ifdef __SSE2__
  const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  while (aSize - pos >= 8) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aUnits + pos));
    const auto ascii = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(block, notAscii), zero)));
    if (ascii != 0xFFFF) return pos + std::countr_one(ascii) / 2 - aPos;
    pos += 8;
  }
#endif
  uint64_t word;
  while (aSize - pos >= 4) {
    std::memcpy(&word, aUnits + pos, sizeof word);
    const uint64_t high = word & 0xFF80FF80FF80FF80u;
    if (high != 0) return pos + std::countr_zero(high) / 16 - aPos;
    pos += 4;
  }
  while (pos < aSize && aUnits[pos] < 0x80) ++pos;
  return pos - aPos;
}

// aCount ASCII units to as many bytes.
void NarrowAscii(const char16_t* aUnits, size_t aCount, char* aOut) {
  size_t k = 0;
#ifdef __SSE2__
  for (; aCount - k >= 16; k += 16) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aUnits + k));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(aUnits + k + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(aOut + k), _mm_packus_epi16(low, high));
  }
#endif
  for (; aCount - k >= 4; k += 4) {
    uint64_t units;
    std::memcpy(&units, aUnits + k, sizeof units);
    units = (units | units >> 8) & 0x0000FFFF0000FFFFu;
    units = (units | units >> 16) & 0x00000000FFFFFFFFu;
    const auto four = static_cast<uint32_t>(units);
    std::memcpy(aOut + k, &four, sizeof four);
  }
  for (; k < aCount; ++k) aOut[k] = static_cast<char>(aUnits[k]);
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
  const char16_t* units = aText.data();
  const size_t size = aText.size();
  const auto pairedAt = [&](size_t i) {
    return units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < size && units[i + 1] >= 0xDC00 &&
           units[i + 1] <= 0xDFFF;
  };
  size_t bytes = 0;
  for (size_t i = 0; i < size;) {
    const size_t ascii = AsciiUnitRun(units, i, size);
    bytes += ascii;
    i += ascii;
    if (i == size) break;
    if (units[i] < 0x800) {
      bytes += 2;
      i += 1;
    } else if (pairedAt(i)) {
      bytes += 4;
      i += 2;
    } else {
      bytes += 3;  // U+FFFD for an unpaired surrogate takes three too
      i += 1;
    }
  }
  std::string out(bytes, '\0');
  char* o = out.data();
  for (size_t i = 0; i < size;) {
    const size_t ascii = AsciiUnitRun(units, i, size);
    NarrowAscii(units + i, ascii, o);
    o += ascii;
    i += ascii;
    if (i == size) break;
    char32_t cp = units[i];
    if (pairedAt(i)) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    ++i;
    o = PutUtf8(o, cp);
  }
  return out;
}

size_t Utf16Length(std::string_view aText) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(aText.data());
  size_t units = 0;
  size_t pos = 0;
  while (pos < aText.size()) {
    const size_t ascii = AsciiRun(bytes, pos, aText.size());
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
  const auto* bytes = reinterpret_cast<const unsigned char*>(aText.data());
  size_t pos = 0;
  while (pos < aText.size()) {
    const size_t ascii = AsciiRun(bytes, pos, aText.size());
    WidenAscii(bytes + pos, ascii, o);
    o += ascii;
    pos += ascii;
    if (pos == aText.size()) break;
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
