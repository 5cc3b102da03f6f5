#pragma once
// The application's message formatting.
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

// One value for MxFormat: an integer, a floating-point number or a text.
class tMx_FormatArg {
 public:
  template <std::integral T>
  tMx_FormatArg(T aValue) : fValue(static_cast<int64_t>(aValue)) {}
  template <std::floating_point T>
  tMx_FormatArg(T aValue) : fValue(static_cast<double>(aValue)) {}
  tMx_FormatArg(const char* aValue) : fValue(std::string(aValue)) {}
  tMx_FormatArg(std::string_view aValue) : fValue(std::string(aValue)) {}
  tMx_FormatArg(const std::string& aValue) : fValue(aValue) {}

  std::variant<int64_t, double, std::string> fValue;
};

// Positional formatting: "%" [index ":"] ["-"] [width] ["." precision] type, with types
// d, u, x (integers; precision = minimum digits), e, f, g, n (numbers; '.' as decimal
// point, n with ',' grouping), s (texts; precision = maximum characters) and "%%". Index,
// width and precision may be "*", taken from the next value. The format is checked as it
// is read, so a text from outside the program cannot make it read past its values.
// Raises EMxError "Format '...' invalid or incompatible with argument" or
// "No argument for format '...'".
std::string MxFormat(std::string_view aFormat, std::span<const tMx_FormatArg> aArgs);
