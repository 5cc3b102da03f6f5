// Windows code pages without Windows: the ANSI code page is taken to be 1252, and texts
// are converted unit by unit as WideCharToMultiByte and MultiByteToWideChar do, except that
// there is no best-fit mapping: whatever 1252 cannot hold becomes '?'. Other code pages
// go through iconv under their iconv names.
#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/CodePageSystem.h"
#include "platform/Platform.h"

namespace {

// Bytes 0x80..0xFF. Bytes a code page leaves undefined decode as Windows decodes them.
constexpr char16_t kCp1252[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

constexpr char16_t kCp1253[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x008A, 0x2039, 0x008C, 0x008D, 0x008E, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x009A, 0x203A, 0x009C, 0x009D, 0x009E, 0x009F,
    0x00A0, 0x0385, 0x0386, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0xF8F9, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x2015,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x0384, 0x00B5, 0x00B6, 0x00B7,
    0x0388, 0x0389, 0x038A, 0x00BB, 0x038C, 0x00BD, 0x038E, 0x038F,
    0x0390, 0x0391, 0x0392, 0x0393, 0x0394, 0x0395, 0x0396, 0x0397,
    0x0398, 0x0399, 0x039A, 0x039B, 0x039C, 0x039D, 0x039E, 0x039F,
    0x03A0, 0x03A1, 0xF8FA, 0x03A3, 0x03A4, 0x03A5, 0x03A6, 0x03A7,
    0x03A8, 0x03A9, 0x03AA, 0x03AB, 0x03AC, 0x03AD, 0x03AE, 0x03AF,
    0x03B0, 0x03B1, 0x03B2, 0x03B3, 0x03B4, 0x03B5, 0x03B6, 0x03B7,
    0x03B8, 0x03B9, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BE, 0x03BF,
    0x03C0, 0x03C1, 0x03C2, 0x03C3, 0x03C4, 0x03C5, 0x03C6, 0x03C7,
    0x03C8, 0x03C9, 0x03CA, 0x03CB, 0x03CC, 0x03CD, 0x03CE, 0xF8FB,
};

constexpr int kAnsiCodePage = 1252;

unsigned char EncodeAnsi(char16_t aUnit) {
  if (aUnit < 0x80 || (aUnit >= 0xA0 && aUnit <= 0xFF)) return static_cast<unsigned char>(aUnit);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252[i] == aUnit) return static_cast<unsigned char>(0x80 + i);
  }
  // Each UTF-16 unit, so a surrogate pair gives two, as on Windows.
  return '?';
}

}  // namespace

namespace platform {

int AnsiCodePage() { return kAnsiCodePage; }

std::string ReencodeAnsiText(std::string_view aUtf8, int aDecodeCodePage) {
  const char16_t* table;
  switch (aDecodeCodePage == 0 ? kAnsiCodePage : aDecodeCodePage) {
    case 1252: table = kCp1252; break;
    case 1253: table = kCp1253; break;
    default: throw EMxError("Code page " + std::to_string(aDecodeCodePage) + " is not supported");
  }
  std::u16string text = Utf8ToUtf16(aUtf8);
  for (char16_t& unit : text) {
    unsigned char byte = EncodeAnsi(unit);
    unit = byte < 0x80 ? char16_t{byte} : table[byte - 0x80];
  }
  return Utf16ToUtf8(text);
}

}  // namespace platform

namespace {

std::string IconvName(int aCodePage) {
  switch (aCodePage) {
    case 65000: return "UTF-7";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 51932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    case 54936: return "GB18030";
    case 10000: return "MACINTOSH";
    default: break;
  }
  if (aCodePage >= 28591 && aCodePage <= 28606) return "ISO-8859-" + std::to_string(aCodePage - 28590);
  return "CP" + std::to_string(aCodePage);
}

class tIconv {
 public:
  tIconv(const std::string& aTo, const std::string& aFrom, int aCodePage)
      : fHandle(iconv_open(aTo.c_str(), aFrom.c_str())) {
    if (fHandle == reinterpret_cast<iconv_t>(-1)) {
      throw EMxError("Code page " + std::to_string(aCodePage) + " is not supported");
    }
  }
  ~tIconv() { iconv_close(fHandle); }
  tIconv(const tIconv&) = delete;
  tIconv& operator=(const tIconv&) = delete;

  // Converts all of aInput; at an input unit the target cannot take (or that does not
  // decode) aSkip of its bytes are dropped and aSubstitute written instead.
  std::string Run(std::string_view aInput, size_t aSkip, std::string_view aSubstitute) {
    std::string output;
    char buffer[1024];
    char* in = const_cast<char*>(aInput.data());
    size_t inLeft = aInput.size();
    for (bool flushing = false;;) {
      char* out = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = flushing ? iconv(fHandle, nullptr, nullptr, &out, &outLeft)
                                     : iconv(fHandle, &in, &inLeft, &out, &outLeft);
      const int error = errno;
      output.append(buffer, static_cast<size_t>(out - buffer));
      if (result != static_cast<size_t>(-1)) {
        if (flushing) return output;
        flushing = true;  // stateful encodings such as UTF-7 end their last run
        continue;
      }
      if (error == E2BIG) continue;
      // EILSEQ, or EINVAL for an unfinished sequence at the end.
      output.append(aSubstitute);
      const size_t skip = inLeft < aSkip ? inLeft : aSkip;
      in += skip;
      inLeft -= skip;
      if (inLeft == 0) flushing = true;
    }
  }

 private:
  iconv_t fHandle;
};

}  // namespace

namespace platform::detail {

std::string SystemEncode(std::u16string_view aText, int aCodePage) {
  // UTF-32 input: one fixed-size unit per character to skip when the code page lacks it.
  std::u32string codePoints;
  codePoints.reserve(aText.size());
  for (size_t i = 0; i < aText.size(); ++i) {
    char32_t cp = aText[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 && aText[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
      ++i;
    }
    codePoints.push_back(cp);
  }
  const std::string_view input(reinterpret_cast<const char*>(codePoints.data()), codePoints.size() * 4);
  return tIconv(IconvName(aCodePage), "UTF-32LE", aCodePage).Run(input, 4, "?");
}

std::u16string SystemDecode(std::string_view aBytes, int aCodePage) {
  const std::string units = tIconv("UTF-16LE", IconvName(aCodePage), aCodePage).Run(aBytes, 1, "\xFD\xFF");
  std::u16string text;
  text.reserve(units.size() / 2);
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                         (static_cast<unsigned char>(units[i + 1]) << 8)));
  }
  return text;
}

}  // namespace platform::detail
