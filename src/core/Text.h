#pragma once
// UTF-8 inside, UTF-16 only at the edges. Character counts are code points.
#include <cstddef>
#include <string>
#include <string_view>

// Invalid sequences and unpaired surrogates become U+FFFD. Each byte that does not start
// a well-formed UTF-8 sequence is one invalid character, as CodePointCount counts it.
std::string Utf16ToUtf8(std::u16string_view aText);
std::u16string Utf8ToUtf16(std::string_view aText);
// For writing straight into a buffer of the caller's: the units Utf8ToUtf16 makes of aText,
// and the conversion into aOut, which has room for that many. Returns the units written.
size_t Utf16Length(std::string_view aText);
size_t Utf8ToUtf16(std::string_view aText, char16_t* aOut);

// The code point whose UTF-8 sequence starts at byte aPos (aPos < aText.size()), and in
// aLength the bytes it takes. A byte that starts no well-formed sequence is taken alone:
// aLength 1 and false; the code point is then U+FFFD.
bool Utf8CodePointAt(std::string_view aText, size_t aPos, char32_t& aCodePoint, size_t& aLength);

// Number of code points in a UTF-8 text (each invalid byte counts as one).
size_t CodePointCount(std::string_view aText);
// The first aCount code points of aText.
std::string_view LeftCodePoints(std::string_view aText, size_t aCount);
// Up to aCount code points starting at code point aFirst (from 0); shorter or empty when
// the text ends first.
std::string_view MidCodePoints(std::string_view aText, size_t aFirst, size_t aCount);

// ASCII case mapping; other characters unchanged.
std::string LowerCase(std::string_view aText);
std::string UpperCase(std::string_view aText);
bool SameText(std::string_view a, std::string_view b);
bool StartsWithText(std::string_view aText, std::string_view aPrefix);

// Every occurrence of aFrom, left to right without overlap; an empty aFrom changes nothing.
std::string StringReplaceAll(std::string_view aText, std::string_view aFrom, std::string_view aTo);
