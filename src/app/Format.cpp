#include "app/Format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/Errors.h"
#include "core/Text.h"

namespace {

// Widths and precisions beyond this are taken for a broken format rather than honoured
// with a huge allocation.
constexpr int64_t kMaxFieldSize = 100000;

class Formatter {
 public:
  Formatter(std::string_view aFormat, std::span<const tMx_FormatArg> aArgs)
      : fFormat(aFormat), fArgs(aArgs) {}

  std::string Run() {
    while (fPos < fFormat.size()) {
      char c = fFormat[fPos++];
      if (c != '%') {
        fOut += c;
      } else if (fPos < fFormat.size() && fFormat[fPos] == '%') {
        fOut += '%';
        ++fPos;
      } else {
        Specifier();
      }
    }
    return std::move(fOut);
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EMxError("Format '" + std::string(fFormat) + "' invalid or incompatible with argument");
  }

  const tMx_FormatArg& Take() {
    if (fNext >= fArgs.size()) {
      throw EMxError("No argument for format '" + std::string(fFormat) + "'");
    }
    return fArgs[fNext++];
  }

  int64_t TakeInteger() {
    const auto* value = std::get_if<int64_t>(&Take().fValue);
    if (value == nullptr) Invalid();
    return *value;
  }

  // Digits or "*"; nullopt when there is neither.
  std::optional<int64_t> Number() {
    if (fPos < fFormat.size() && fFormat[fPos] == '*') {
      ++fPos;
      return TakeInteger();
    }
    size_t start = fPos;
    int64_t value = 0;
    while (fPos < fFormat.size() && fFormat[fPos] >= '0' && fFormat[fPos] <= '9') {
      value = value * 10 + (fFormat[fPos++] - '0');
      if (value > kMaxFieldSize) Invalid();
    }
    if (fPos == start) return std::nullopt;
    return value;
  }

  void Specifier() {
    std::optional<int64_t> first = Number();
    if (first && fPos < fFormat.size() && fFormat[fPos] == ':') {
      if (*first < 0) Invalid();
      fNext = static_cast<size_t>(*first);
      ++fPos;
      first.reset();
    }
    bool left = false;
    if (!first && fPos < fFormat.size() && fFormat[fPos] == '-') {
      left = true;
      ++fPos;
    }
    std::optional<int64_t> width = first ? first : Number();
    if (width && *width < 0) {  // a negative "*" width justifies left
      left = true;
      *width = -*width;
    }
    std::optional<int64_t> precision;
    if (fPos < fFormat.size() && fFormat[fPos] == '.') {
      ++fPos;
      precision = Number();
      if (!precision) precision = 0;
      if (*precision < 0) precision.reset();
    }
    if ((width && *width > kMaxFieldSize) || (precision && *precision > kMaxFieldSize)) Invalid();
    if (fPos >= fFormat.size()) Invalid();
    char type = static_cast<char>(fFormat[fPos++] | 0x20);  // types are case-insensitive

    std::string text = Render(type, precision);
    size_t length = CodePointCount(text);
    size_t pad = width && static_cast<size_t>(*width) > length ? *width - length : 0;
    if (left) {
      fOut += text;
      fOut.append(pad, ' ');
    } else {
      fOut.append(pad, ' ');
      fOut += text;
    }
  }

  std::string Render(char aType, std::optional<int64_t> aPrecision) {
    switch (aType) {
      case 'd': {
        int64_t value = TakeInteger();
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
        return (value < 0 ? "-" : "") + ZeroPad(std::to_string(magnitude), aPrecision);
      }
      case 'u':
        return ZeroPad(std::to_string(static_cast<uint64_t>(TakeInteger())), aPrecision);
      case 'x': {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "%llX",
                      static_cast<unsigned long long>(TakeInteger()));
        return ZeroPad(buffer, aPrecision);
      }
      case 's': {
        const auto* value = std::get_if<std::string>(&Take().fValue);
        if (value == nullptr) Invalid();
        return aPrecision ? std::string(LeftCodePoints(*value, *aPrecision)) : *value;
      }
      case 'e': case 'f': case 'g': case 'n': {
        const auto* value = std::get_if<double>(&Take().fValue);
        if (value == nullptr) Invalid();
        return RenderFloat(aType, *value, aPrecision);
      }
      default:
        Invalid();
    }
  }

  static std::string ZeroPad(std::string aDigits, std::optional<int64_t> aPrecision) {
    if (aPrecision && aDigits.size() < static_cast<size_t>(*aPrecision)) {
      aDigits.insert(0, *aPrecision - aDigits.size(), '0');
    }
    return aDigits;
  }

  static std::string Printf(const char* aPattern, int aPrecision, double aValue) {
    int length = std::snprintf(nullptr, 0, aPattern, aPrecision, aValue);
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, aPattern, aPrecision, aValue);
    return text;
  }

  static std::string RenderFloat(char aType, double aValue, std::optional<int64_t> aPrecision) {
    if (std::isnan(aValue)) return "NAN";
    if (std::isinf(aValue)) return aValue < 0 ? "-INF" : "INF";
    switch (aType) {
      case 'e': {
        // Precision counts all digits; the exponent has a sign and at least three digits.
        int digits = static_cast<int>(aPrecision.value_or(15));
        std::string text = Printf("%.*E", std::max(digits, 1) - 1, aValue);
        size_t e = text.find('E');
        std::string exponent = text.substr(e + 2);
        if (exponent.size() < 3) exponent.insert(0, 3 - exponent.size(), '0');
        return text.substr(0, e + 2) + exponent;
      }
      case 'g': {
        // Shortest form; an exponent has no '+' and no leading zeros.
        int digits = static_cast<int>(aPrecision.value_or(15));
        std::string text = Printf("%.*G", std::max(digits, 1), aValue);
        size_t e = text.find('E');
        if (e == std::string::npos) return text;
        std::string mantissa = text.substr(0, e);
        bool negative = text[e + 1] == '-';
        size_t firstDigit = text.find_first_not_of('0', e + 2);
        std::string exponent = firstDigit == std::string::npos ? "0" : text.substr(firstDigit);
        return mantissa + "E" + (negative ? "-" : "") + exponent;
      }
      case 'f':
        return Printf("%.*f", static_cast<int>(aPrecision.value_or(2)), aValue);
      default: {  // 'n': fixed with thousands grouping
        std::string text = Printf("%.*f", static_cast<int>(aPrecision.value_or(2)), aValue);
        size_t begin = text[0] == '-' ? 1 : 0;
        size_t end = text.find('.');
        if (end == std::string::npos) end = text.size();
        for (size_t at = end; at > begin + 3; at -= 3) text.insert(at - 3, 1, ',');
        return text;
      }
    }
  }

  std::string_view fFormat;
  std::span<const tMx_FormatArg> fArgs;
  size_t fPos = 0;
  size_t fNext = 0;
  std::string fOut;
};

}  // namespace

std::string MxFormat(std::string_view aFormat, std::span<const tMx_FormatArg> aArgs) {
  return Formatter(aFormat, aArgs).Run();
}
