#pragma once
// Shared text and date helpers. They keep no state.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/DateTime.h"

// Field aIndex (from 1) of aText split at aSeparator; with aToEnd, from that field's first
// character to the end of the text. Out-of-range indexes give the empty text, except that
// aToEnd with an index of 0 or less gives the whole text.
std::string ExtractField(std::string_view aText, int32_t aIndex, char aSeparator, bool aToEnd);

// yyyy-mm-ddThh:nn:ss[.zzz]; the value is taken to the nearest millisecond, then units
// below the last shown are cut off, not rounded.
std::string FormatDateTimeISO(bool aWithMilliseconds, TDateTime aDateTime);
// Raise EMxError "Date Format invalid: [...]" / "DateTime Format invalid: [...]".
TDateTime ISOToDate(std::string_view aText);
TDateTime ISOToDateTime(std::string_view aText);
int32_t MillisecondsOfDay(TDateTime aDateTime);
