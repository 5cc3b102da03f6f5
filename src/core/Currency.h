#pragma once
// Money: a 64-bit count of ten-thousandths. Never passes through double.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class Currency {
 public:
  static constexpr int64_t kScale = 10000;

  constexpr Currency() = default;
  static constexpr Currency FromRaw(int64_t aRaw) { Currency c; c.fRaw = aRaw; return c; }
  static constexpr Currency FromUnits(int64_t aUnits) { return FromRaw(aUnits * kScale); }
  constexpr int64_t Raw() const { return fRaw; }

  // Exact decimal parse: optional leading/trailing spaces, optional sign, digits with an
  // optional '.' fraction (at least one digit in all), optional exponent. Rounded to four
  // decimals, halves to even. nullopt when the text is not such a number or overflows.
  static std::optional<Currency> Parse(std::string_view aText);

  // Shortest decimal form: '.' separator, no grouping, no trailing zeros, "-" when negative.
  std::string ToString() const;

  // Whole cents, fraction dropped toward zero.
  constexpr int64_t TruncCents() const { return fRaw / 100; }
  static constexpr Currency FromCents(int64_t aCents) { return FromRaw(aCents * 100); }

  constexpr auto operator<=>(const Currency&) const = default;
  constexpr Currency operator+(Currency o) const { return FromRaw(fRaw + o.fRaw); }
  constexpr Currency operator-(Currency o) const { return FromRaw(fRaw - o.fRaw); }
  constexpr Currency operator-() const { return FromRaw(-fRaw); }
  constexpr Currency operator*(int64_t n) const { return FromRaw(fRaw * n); }
  Currency& operator+=(Currency o) { fRaw += o.fRaw; return *this; }

 private:
  int64_t fRaw = 0;
};
