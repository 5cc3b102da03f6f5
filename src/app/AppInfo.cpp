#include "app/AppInfo.h"

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Text.h"
#include "core/Utils.h"
#include "platform/Resources.h"

namespace {

// A decimal integer with optional leading blanks and sign, or 1 when the piece is not
// one: a release date part that cannot be read counts as 1.
int ReadDatePart(std::string_view aPiece) { return ParseInt32(aPiece).value_or(1); }

// Day, month and year by position: characters 1-2, 4-5 and 7-10, whatever separates them.
TDateTime ReadReleaseDate(std::string_view aValue) {
  int day = ReadDatePart(MidCodePoints(aValue, 0, 2));
  int month = ReadDatePart(MidCodePoints(aValue, 3, 2));
  int year = ReadDatePart(MidCodePoints(aValue, 6, 4));
  return EncodeDate(year, month, day);
}

}  // namespace

std::string ShortDateText(TDateTime aDate) {
  DateTimeParts parts = DecodeDateTime(aDate);
  return platform::FormatShortDate(parts.Year, parts.Month, parts.Day);
}

void tMx_ApplicationInfo::Load() { Load(platform::LoadResourceString); }

void tMx_ApplicationInfo::Load(const tMx_StringLookup& aLookup) {
  *this = tMx_ApplicationInfo();
  tMx_ApplicationHistory* open = nullptr;
  int missing = 0;
  // A string table ends at kMaxStringId, so a lookup that answers every id still ends.
  for (uint32_t id = kFirstId; id <= platform::kMaxStringId && missing < kMissingIdsToStop;
       ++id) {
    std::string text = aLookup(id);
    if (text.empty()) {
      ++missing;
      continue;
    }
    missing = 0;
    std::string_view line = LeftCodePoints(text, kMaxStringLength);
    // Keys are ASCII: upper-casing them must not depend on the user's locale.
    std::string key = UpperCase(ExtractField(line, 1, '=', false));
    std::string value = ExtractField(line, 2, '=', true);
    if (key == "$APPDESCRIPTION") {
      fDescription = value;
    } else if (key == "$COPYRIGHT") {
      fCopyright = value;
    } else if (key == "$VERSION") {
      fVersion = value;
      fHistory.emplace_back(value);
      open = &fHistory.back();
    } else if (open == nullptr) {
      continue;  // the other keys describe a version, and none is open yet
    } else if (key == "$AUTHOR") {
      open->fAuthor = value;
    } else if (key == "$RELEASEDATE") {
      fReleaseDate = ReadReleaseDate(value);
      open->fReleaseDate = fReleaseDate;
    } else if (key == "$PTEXT" || key == "$TEXT") {
      open->fText.push_back(value);
    }
  }
}

std::string tMx_ApplicationInfo::VersionString() const {
  return "[" + fVersion + " - " + ShortDateText(fReleaseDate) + "]";
}
