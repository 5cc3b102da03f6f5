#include "core/Numbers.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

// All of aDigits in aBase, as an unsigned value: std::from_chars refuses a sign itself.
std::optional<uint64_t> Digits(std::string_view aDigits, int aBase) {
  uint64_t value = 0;
  const char* end = aDigits.data() + aDigits.size();
  const auto [stop, error] = std::from_chars(aDigits.data(), end, value, aBase);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int32_t> ParseInt32(std::string_view aText, tkIntegerSyntax aSyntax) {
  std::string_view s = aText;
  if (aSyntax.LeadingBlanks) s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (aSyntax.Hex) {
    size_t prefix = 0;
    if (!s.empty() && (s.front() == '$' || s.front() == 'x' || s.front() == 'X')) {
      prefix = 1;
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
      prefix = 2;
    }
    if (prefix > 0) {
      const auto bits = Digits(s.substr(prefix), 16);
      if (!bits || *bits > std::numeric_limits<uint32_t>::max()) return std::nullopt;
      const uint32_t pattern = static_cast<uint32_t>(*bits);
      return static_cast<int32_t>(negative ? 0u - pattern : pattern);
    }
  }
  const auto magnitude = Digits(s, 10);
  const uint64_t limit = uint64_t{std::numeric_limits<int32_t>::max()} + (negative ? 1 : 0);
  if (!magnitude || *magnitude > limit) return std::nullopt;
  return static_cast<int32_t>(negative ? -static_cast<int64_t>(*magnitude) : static_cast<int64_t>(*magnitude));
}
