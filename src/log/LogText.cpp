#include "log/LogText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/Text.h"

namespace {

constexpr size_t kMinCardDigits = 13;
constexpr size_t kMaxCardDigits = 19;
constexpr size_t kShownFirst = 6;
constexpr size_t kShownLast = 4;
// Digits that a single space or hyphen joins into one figure: card numbers are printed in
// groups of four or more, a hex dump's pairs never join.
constexpr size_t kMinGroup = 3;
constexpr char kHex[] = "0123456789ABCDEF";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsGroupGap(char c) { return c == ' ' || c == '-'; }

void AppendHexByte(std::string& aOut, unsigned char aByte) {
  const char escape[] = {'\\', 'x', kHex[aByte >> 4], kHex[aByte & 0xF]};
  aOut.append(escape, sizeof escape);
}

// A run of digits inside a digit sequence: [fBegin, fEnd) of the text.
struct DigitRun {
  size_t fBegin;
  size_t fEnd;
  size_t Size() const { return fEnd - fBegin; }
};

size_t DigitsFrom(std::string_view aText, size_t aAt) {
  size_t end = aAt;
  while (end < aText.size() && IsDigit(aText[end])) ++end;
  return end;
}

// The run after aRun in the same figure: a single space or hyphen between two runs of at
// least kMinGroup digits joins them.
bool JoinedRun(std::string_view aText, const DigitRun& aRun, DigitRun& aNext) {
  const size_t gap = aRun.fEnd;
  if (aRun.Size() < kMinGroup || gap + 1 >= aText.size() || !IsGroupGap(aText[gap])) return false;
  aNext = {gap + 1, DigitsFrom(aText, gap + 1)};
  return aNext.Size() >= kMinGroup;
}

// The number of digits of the figure that starts at aAt. aEnd: where it ends.
size_t SequenceDigits(std::string_view aText, size_t aAt, size_t& aEnd) {
  DigitRun run{aAt, DigitsFrom(aText, aAt)};
  size_t digits = run.Size();
  for (DigitRun next{}; JoinedRun(aText, run, next); run = next) digits += next.Size();
  aEnd = run.fEnd;
  return digits;
}

// The runs of the figure that starts at aAt. aEnd: where it ends.
std::vector<DigitRun> DigitSequence(std::string_view aText, size_t aAt, size_t& aEnd) {
  std::vector<DigitRun> runs{{aAt, DigitsFrom(aText, aAt)}};
  for (DigitRun next{}; JoinedRun(aText, runs.back(), next);) runs.push_back(next);
  aEnd = runs.back().fEnd;
  return runs;
}

bool LuhnOfRuns(std::string_view aText, const std::vector<DigitRun>& aRuns, size_t aFirst, size_t aLast) {
  std::string digits;
  for (size_t r = aFirst; r <= aLast; ++r) digits.append(aText.substr(aRuns[r].fBegin, aRuns[r].Size()));
  return PassesLuhn(digits);
}

}  // namespace

bool PassesLuhn(std::string_view aDigits) {
  if (aDigits.empty()) return false;
  unsigned sum = 0;
  bool doubled = false;
  for (size_t i = aDigits.size(); i-- > 0;) {
    if (!IsDigit(aDigits[i])) return false;
    unsigned d = static_cast<unsigned>(aDigits[i] - '0');
    if (doubled) {
      d *= 2;
      if (d > 9) d -= 9;
    }
    sum += d;
    doubled = !doubled;
  }
  return sum % 10 == 0;
}

std::string MaskCardNumbers(std::string_view aText) {
  std::string out(aText);
  size_t i = 0;
  while (i < aText.size()) {
    if (!IsDigit(aText[i])) {
      ++i;
      continue;
    }
    size_t end = 0;
    // Dates, amounts and codes are far too short to be a card number: no need to look closer.
    if (SequenceDigits(aText, i, end) < kMinCardDigits) {
      i = end;
      continue;
    }
    const std::vector<DigitRun> runs = DigitSequence(aText, i, end);
    // From each run on, the longest stretch of whole runs that makes a card number; a
    // number written among other figures ("100 4539 5787 ...") is found all the same.
    for (size_t first = 0; first < runs.size();) {
      size_t found = runs.size();
      size_t total = 0;
      size_t digits = 0;
      for (size_t last = first; last < runs.size(); ++last) {
        digits += runs[last].Size();
        if (digits > kMaxCardDigits) break;
        if (digits >= kMinCardDigits && LuhnOfRuns(aText, runs, first, last)) found = last, total = digits;
      }
      if (found == runs.size()) {
        ++first;
        continue;
      }
      size_t k = 0;
      for (size_t r = first; r <= found; ++r) {
        for (size_t p = runs[r].fBegin; p < runs[r].fEnd; ++p, ++k) {
          if (k >= kShownFirst && k < total - kShownLast) out[p] = '*';
        }
      }
      first = found + 1;
    }
    i = end;
  }
  return out;
}

std::string MaskCardSerial(std::string_view aSerial) {
  if (aSerial.size() <= kShownFirst + kShownLast) return std::string(aSerial.size(), '*');
  std::string out(aSerial);
  for (size_t p = kShownFirst; p < out.size() - kShownLast; ++p) out[p] = '*';
  return out;
}

namespace {

// Eight bytes of printable ASCII without a digit: nothing in them to escape or to mask.
bool IsPlainWord(uint64_t aWord) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHigh = 0x8080808080808080u;
  if (aWord & kHigh) return false;
  const bool control = ((aWord - 0x20 * kOnes) & ~aWord & kHigh) != 0;  // a byte below 0x20
  const bool del = ((aWord + kOnes) & kHigh) != 0;                      // 0x7F
  const uint64_t low = aWord & (0x7F * kOnes);
  const bool digit = (((0x7F + 0x3A) * kOnes - low) & ~aWord & (low + (0x7F - 0x2F) * kOnes) & kHigh) != 0;
  return !control && !del && !digit;
}

}  // namespace

bool IsPlainLogText(std::string_view aText) {
  size_t digits = 0;
  size_t i = 0;
  while (i < aText.size()) {
    // Most of a message is words and punctuation: eight bytes at a time, after which no
    // figure goes on; eight bytes with anything else in them are looked at one by one.
    uint64_t word;
    if (aText.size() - i >= sizeof word) {
      std::memcpy(&word, aText.data() + i, sizeof word);
      if (IsPlainWord(word)) {
        i += sizeof word;
        digits = 0;
        continue;
      }
    }
    for (const size_t stop = std::min(aText.size(), i + sizeof word); i < stop; ++i) {
      const auto c = static_cast<unsigned char>(aText[i]);
      if (c < 0x20 || c >= 0x7F) return false;
      if (IsDigit(static_cast<char>(c))) {
        if (++digits >= kMinCardDigits) return false;
      } else if (!(IsGroupGap(static_cast<char>(c)) && digits > 0 && i + 1 < aText.size() && IsDigit(aText[i + 1]))) {
        digits = 0;
      }
    }
  }
  return true;
}

void AppendLogEscaped(std::string& aOut, std::string_view aText) {
  size_t i = 0;
  while (i < aText.size()) {
    // Printable ASCII goes over in one piece.
    size_t plain = i;
    while (plain < aText.size() && static_cast<unsigned char>(aText[plain]) >= 0x20 &&
           static_cast<unsigned char>(aText[plain]) < 0x7F) {
      ++plain;
    }
    aOut.append(aText.substr(i, plain - i));
    i = plain;
    if (i == aText.size()) break;
    const auto c = static_cast<unsigned char>(aText[i]);
    switch (c) {
      case '\r': aOut += "\\r"; ++i; continue;
      case '\n': aOut += "\\n"; ++i; continue;
      case '\t': aOut += "\\t"; ++i; continue;
      default: break;
    }
    if (c < 0x80) {
      AppendHexByte(aOut, c);
      ++i;
      continue;
    }
    char32_t cp = 0;
    size_t length = 0;
    if (!Utf8CodePointAt(aText, i, cp, length)) {
      AppendHexByte(aOut, c);
      ++i;
      continue;
    }
    if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
      const char escape[] = {'\\', 'u', kHex[(cp >> 12) & 0xF], kHex[(cp >> 8) & 0xF], kHex[(cp >> 4) & 0xF],
                             kHex[cp & 0xF]};
      aOut.append(escape, sizeof escape);
    } else {
      aOut.append(aText.substr(i, length));
    }
    i += length;
  }
}

void AppendLogMessage(std::string& aRecord, std::string_view aMessage, size_t aMaxCodePoints) {
  if (IsPlainLogText(aMessage)) {
    aRecord.append(aMaxCodePoints > 0 ? LeftCodePoints(aMessage, aMaxCodePoints) : aMessage);
    return;
  }
  // Masked before the cut, so that a cut cannot leave the middle digits of a card number.
  const std::string masked = MaskCardNumbers(aMessage);
  std::string_view text = masked;
  if (aMaxCodePoints > 0) text = LeftCodePoints(text, aMaxCodePoints);
  std::string escaped;
  AppendLogEscaped(escaped, text);
  // And again after escaping: the hex digits of an escape ("\x10") before other digits
  // could make a run that reads as a card number.
  aRecord.append(MaskCardNumbers(escaped));
}
