#pragma once
// Money: a 64-bit count of ten-thousandths. Never passes through double. Arithmetic that
// would leave the 64 bits raises EMxError "Amount out of range" instead of wrapping.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Errors.h"

class Currency {
 public:
  static constexpr int64_t kScale = 10000;

  constexpr Currency() = default;
  static constexpr Currency FromRaw(int64_t aRaw) { Currency c; c.fRaw = aRaw; return c; }
  static constexpr Currency FromUnits(int64_t aUnits) { return FromRaw(aUnits) * kScale; }
  constexpr int64_t Raw() const { return fRaw; }

  // Exact decimal parse: optional leading/trailing spaces, optional sign, digits with an
  // optional '.' fraction (at least one digit in all), optional exponent. Rounded to four
  // decimals, halves to even. nullopt when the text is not such a number or overflows.
  static std::optional<Currency> Parse(std::string_view aText);

  // Shortest decimal form: '.' separator, no grouping, no trailing zeros, "-" when negative.
  std::string ToString() const;

  // Whole cents, fraction dropped toward zero.
  constexpr int64_t TruncCents() const { return fRaw / 100; }
  static constexpr Currency FromCents(int64_t aCents) { return FromRaw(aCents) * 100; }
  // A count of cents that may carry decimals (aCents read as if it were units), divided by
  // 100: halves to even at the fourth decimal.
  static constexpr Currency FromFractionalCents(Currency aCents) {
    int64_t raw = aCents.fRaw / 100;
    const int64_t rest = aCents.fRaw % 100;
    if (rest > 50 || (rest == 50 && raw % 2 != 0)) ++raw;
    if (rest < -50 || (rest == -50 && raw % 2 != 0)) --raw;
    return FromRaw(raw);
  }

  constexpr auto operator<=>(const Currency&) const = default;
  constexpr Currency operator+(Currency o) const {
    int64_t raw = 0;
    if (__builtin_add_overflow(fRaw, o.fRaw, &raw)) OutOfRange();
    return FromRaw(raw);
  }
  constexpr Currency operator-(Currency o) const {
    int64_t raw = 0;
    if (__builtin_sub_overflow(fRaw, o.fRaw, &raw)) OutOfRange();
    return FromRaw(raw);
  }
  constexpr Currency operator-() const { return Currency() - *this; }
  constexpr Currency operator*(int64_t n) const {
    int64_t raw = 0;
    if (__builtin_mul_overflow(fRaw, n, &raw)) OutOfRange();
    return FromRaw(raw);
  }
  constexpr Currency& operator+=(Currency o) { return *this = *this + o; }

 private:
  [[noreturn]] static void OutOfRange() { throw EMxError("Amount out of range"); }

  int64_t fRaw = 0;
};
