#pragma once
// Shared text, date and host helpers. They keep no state.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/DateTime.h"

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

// Folder of the host program's executable, ending with the path separator.
std::string GetExePath();
// The host executable's file name without folder and extension.
std::string GetExeName();
// The same for a given executable path; empty when there is no folder or no name.
std::string ExePathOf(std::string_view aExecutable);
std::string ExeNameOf(std::string_view aExecutable);

// First host command-line parameter that is aName, or aName followed by ':' or '='
// (case-insensitive); aWhole gives it as written, otherwise the value after the mark.
std::string GetParamValue(std::string_view aName, bool aWhole);
// The same over given parameters (without the program name).
std::string GetParamValue(std::span<const std::string> aParams, std::string_view aName, bool aWhole);
