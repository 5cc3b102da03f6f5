#pragma once
// What a message may carry into a log file. A message is one record: its line breaks and
// other control characters are written as visible escapes, so text from a request or a
// terminal reply can never start a line of its own. Card numbers never reach a log whole.
#include <cstddef>
#include <string>
#include <string_view>

// Appends aMessage to aRecord as it goes into a log line: card numbers masked (see
// MaskCardNumbers), then cut to aMaxCodePoints code points when that is above 0, then
// escaped (see AppendLogEscaped).
void AppendLogMessage(std::string& aRecord, std::string_view aMessage, size_t aMaxCodePoints);

// Appends aText with CR, LF and TAB as \r, \n and \t; other C0 controls and DEL as \xHH;
// C1 controls and the Unicode line and paragraph separators as \uHHHH; each byte that is
// not part of valid UTF-8 as \xHH. A backslash stays as it is, so paths read as they are.
void AppendLogEscaped(std::string& aOut, std::string_view aText);

// aText with every digit sequence that looks like a whole card number - 13 to 19 digits
// passing the Luhn check, written without gaps or in groups of three or more digits split
// by single spaces or hyphens - showing only its first six and last four digits; the
// others become '*'.
std::string MaskCardNumbers(std::string_view aText);

// A card serial for a log: its first six and last four characters, the others '*'; a
// serial of ten characters or fewer is all '*'.
std::string MaskCardSerial(std::string_view aSerial);

// True when aText needs neither masking nor escaping: AppendLogMessage copies it as is.
bool IsPlainLogText(std::string_view aText);

// The Luhn check of a run of ASCII digits.
bool PassesLuhn(std::string_view aDigits);
