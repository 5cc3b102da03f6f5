#include "core/Currency.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exponents are clamped here: beyond it every non-zero value has overflowed or rounded to
// zero already, and the clamp keeps the arithmetic below far from int64 limits.
constexpr int64_t kExponentClamp = 1'000'000'000'000LL;

}  // namespace

std::optional<Currency> Currency::Parse(std::string_view aText) {
  size_t pos = 0;
  size_t end = aText.size();
  while (pos < end && aText[pos] == ' ') ++pos;
  while (end > pos && aText[end - 1] == ' ') --end;
  const std::string_view s = aText.substr(pos, end - pos);

  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

  // All mantissa digits, integer and fraction, and the position of the point among them.
  const size_t intStart = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  const std::string_view intDigits = s.substr(intStart, i - intStart);
  std::string_view fracDigits;
  if (i < s.size() && s[i] == '.') {
    const size_t fracStart = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    fracDigits = s.substr(fracStart, i - fracStart);
  }
  if (intDigits.empty() && fracDigits.empty()) return std::nullopt;

  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    if (i == s.size() || !IsDigit(s[i])) return std::nullopt;
    for (; i < s.size() && IsDigit(s[i]); ++i)
      exponent = std::min(exponent * 10 + (s[i] - '0'), kExponentClamp);
    if (expNegative) exponent = -exponent;
  }
  if (i != s.size()) return std::nullopt;

  // Significant digits without leading or trailing zeros; the value is digits * 10^scale
  // ten-thousandths.
  std::string digits;
  digits.reserve(intDigits.size() + fracDigits.size());
  digits.append(intDigits);
  digits.append(fracDigits);
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return Currency();
  const size_t last = digits.find_last_not_of('0');
  const int64_t trailingZeros = static_cast<int64_t>(digits.size() - 1 - last);
  digits = digits.substr(first, last - first + 1);
  const int64_t scale = exponent + 4 - static_cast<int64_t>(fracDigits.size()) + trailingZeros;
  const int64_t length = static_cast<int64_t>(digits.size());

  // Magnitude in ten-thousandths; 2^63 is allowed for the negative limit.
  const uint64_t limit = negative ? uint64_t(1) << 63 : uint64_t(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  const auto push = [&](int digit) {
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
    return true;
  };

  if (scale >= 0) {
    if (length + scale > 20) return std::nullopt;
    for (char c : digits)
      if (!push(c - '0')) return std::nullopt;
    for (int64_t k = 0; k < scale; ++k)
      if (!push(0)) return std::nullopt;
  } else {
    const int64_t dropped = -scale;
    if (dropped > length) return Currency();  // below 0.1 of the last place
    const size_t kept = static_cast<size_t>(length - dropped);
    if (kept > 20) return std::nullopt;
    for (size_t k = 0; k < kept; ++k)
      if (!push(digits[k] - '0')) return std::nullopt;
    // The dropped part has no trailing zeros, so it is exactly one half only as "5".
    const std::string_view rest = std::string_view(digits).substr(kept);
    const bool roundUp = rest[0] > '5' || (rest[0] == '5' && (rest.size() > 1 || (magnitude & 1)));
    if (roundUp) {
      if (magnitude == limit) return std::nullopt;
      ++magnitude;
    }
  }

  Currency result;
  result.fRaw = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return result;
}

std::string Currency::ToString() const {
  const bool negative = fRaw < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(fRaw) : static_cast<uint64_t>(fRaw);
  std::string out = negative ? "-" : "";
  out += std::to_string(magnitude / kScale);
  uint64_t fraction = magnitude % kScale;
  if (fraction != 0) {
    int places = 4;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --places;
    }
    std::string digits = std::to_string(fraction);
    out += '.';
    out.append(static_cast<size_t>(places) - digits.size(), '0');
    out += digits;
  }
  return out;
}
