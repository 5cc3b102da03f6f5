#include "core/Utils.h"

#include <optional>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Text.h"

std::string ExtractField(std::string_view aText, int32_t aIndex, char aSeparator, bool aToEnd) {
  if (aText.empty()) return {};
  if (aIndex <= 0) return aToEnd ? std::string(aText) : std::string();
  size_t start = 0;
  for (int32_t field = 1; field < aIndex; ++field) {
    const size_t sep = aText.find(aSeparator, start);
    if (sep == std::string_view::npos) return {};
    start = sep + 1;
  }
  if (aToEnd) return std::string(aText.substr(start));
  const size_t sep = aText.find(aSeparator, start);
  return std::string(aText.substr(start, sep == std::string_view::npos ? sep : sep - start));
}

namespace {

// Fixed-width decimal without the cost of a formatting call: log lines stamp every entry.
void PutDigits(char* aOut, int aValue, int aWidth) {
  for (int i = aWidth - 1; i >= 0; --i) {
    aOut[i] = static_cast<char>('0' + aValue % 10);
    aValue /= 10;
  }
}

}  // namespace

std::string FormatDateTimeISO(bool aWithMilliseconds, TDateTime aDateTime) {
  const DateTimeParts p = DecodeDateTime(aDateTime);
  std::string out = aWithMilliseconds ? "0000-00-00T00:00:00.000" : "0000-00-00T00:00:00";
  PutDigits(&out[0], p.Year, 4);
  PutDigits(&out[5], p.Month, 2);
  PutDigits(&out[8], p.Day, 2);
  PutDigits(&out[11], p.Hour, 2);
  PutDigits(&out[14], p.Minute, 2);
  PutDigits(&out[17], p.Second, 2);
  if (aWithMilliseconds) PutDigits(&out[20], p.Millisecond, 3);
  return out;
}

namespace {

// A piece of a date text read as a whole number: an optional sign, then decimal digits
// and nothing else. Leading blanks and hexadecimal forms are refused: no date text writes
// its parts that way.
std::optional<int> ReadNumber(std::string_view aPiece) { return ParseInt32(aPiece, {.LeadingBlanks = false}); }

// Characters aFirst (from 1) to aFirst + aCount - 1 of the text; shorter when the text
// ends first, so a text cut inside a piece leaves a shorter piece.
std::string_view Piece(std::string_view aText, size_t aFirst, size_t aCount) {
  return MidCodePoints(aText, aFirst - 1, aCount);
}

std::optional<DateTimeParts> ReadDate(std::string_view aText) {
  const auto year = ReadNumber(Piece(aText, 1, 4));
  const auto month = ReadNumber(Piece(aText, 6, 2));
  const auto day = ReadNumber(Piece(aText, 9, 2));
  if (!year || !month || !day || !IsValidDate(*year, *month, *day)) return std::nullopt;
  DateTimeParts parts;
  parts.Year = *year;
  parts.Month = *month;
  parts.Day = *day;
  return parts;
}

}  // namespace

TDateTime ISOToDate(std::string_view aText) {
  const auto parts = ReadDate(aText);
  if (!parts) throw EMxError("Date Format invalid: [" + std::string(aText) + "]");
  return EncodeDate(parts->Year, parts->Month, parts->Day);
}

TDateTime ISOToDateTime(std::string_view aText) {
  auto parts = ReadDate(aText);
  const auto hour = ReadNumber(Piece(aText, 12, 2));
  const auto minute = ReadNumber(Piece(aText, 15, 2));
  const auto second = ReadNumber(Piece(aText, 18, 2));
  const int millisecond = ReadNumber(Piece(aText, 21, 3)).value_or(0);
  if (!parts || !hour || !minute || !second ||
      !IsValidTime(*hour, *minute, *second, millisecond))
    throw EMxError("DateTime Format invalid: [" + std::string(aText) + "]");
  parts->Hour = *hour;
  parts->Minute = *minute;
  parts->Second = *second;
  parts->Millisecond = millisecond;
  return EncodeDateTime(*parts);
}

int32_t MillisecondsOfDay(TDateTime aDateTime) { return TimeOfDayMilliseconds(aDateTime); }
