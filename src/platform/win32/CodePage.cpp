// Code-page round trips through the system's own conversions (best-fit mapping included).
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/CodePageSystem.h"
#include "platform/Platform.h"

namespace {

[[noreturn]] void Fail(const char* aCall) {
  throw EMxError(std::string(aCall) + " failed with error " + std::to_string(GetLastError()));
}

}  // namespace

namespace platform {

int AnsiCodePage() { return static_cast<int>(GetACP()); }

std::string ReencodeAnsiText(std::string_view aUtf8, int aDecodeCodePage) {
  const std::u16string wide = Utf8ToUtf16(aUtf8);
  const UINT decodeCodePage = aDecodeCodePage == 0 ? CP_ACP : static_cast<UINT>(aDecodeCodePage);
  std::u16string result;
  result.reserve(wide.size());
  std::string bytes;
  // The calls count in int; pieces keep any text within range. A piece never ends inside a
  // surrogate pair, and it is decoded on its own, so no ANSI character is split either.
  constexpr size_t kPiece = size_t{1} << 20;
  for (size_t pos = 0; pos < wide.size();) {
    size_t len = std::min(kPiece, wide.size() - pos);
    if (pos + len < wide.size() && IS_HIGH_SURROGATE(wide[pos + len - 1])) --len;
    const auto* src = reinterpret_cast<const wchar_t*>(wide.data() + pos);
    const int srcLen = static_cast<int>(len);

    int byteCount = WideCharToMultiByte(CP_ACP, 0, src, srcLen, nullptr, 0, nullptr, nullptr);
    if (byteCount <= 0) Fail("WideCharToMultiByte");
    bytes.resize(static_cast<size_t>(byteCount));
    if (WideCharToMultiByte(CP_ACP, 0, src, srcLen, bytes.data(), byteCount, nullptr, nullptr) != byteCount) {
      Fail("WideCharToMultiByte");
    }

    int unitCount = MultiByteToWideChar(decodeCodePage, 0, bytes.data(), byteCount, nullptr, 0);
    if (unitCount <= 0) Fail("MultiByteToWideChar");
    const size_t old = result.size();
    result.resize(old + static_cast<size_t>(unitCount));
    if (MultiByteToWideChar(decodeCodePage, 0, bytes.data(), byteCount,
                            reinterpret_cast<wchar_t*>(result.data() + old), unitCount) != unitCount) {
      Fail("MultiByteToWideChar");
    }
    pos += len;
  }
  return Utf16ToUtf8(result);
}

}  // namespace platform

namespace platform::detail {

std::string SystemEncode(std::u16string_view aText, int aCodePage) {
  if (aText.empty()) return {};
  if (aText.size() > static_cast<size_t>(INT_MAX / 4)) throw EMxError("Text too long to convert");
  const UINT codePage = static_cast<UINT>(aCodePage);
  const auto* src = reinterpret_cast<const wchar_t*>(aText.data());
  const int srcLen = static_cast<int>(aText.size());
  const int count = WideCharToMultiByte(codePage, 0, src, srcLen, nullptr, 0, nullptr, nullptr);
  if (count <= 0) {
    if (GetLastError() == ERROR_INVALID_PARAMETER) {
      throw EMxError("Code page " + std::to_string(aCodePage) + " is not supported");
    }
    Fail("WideCharToMultiByte");
  }
  std::string bytes(static_cast<size_t>(count), '\0');
  if (WideCharToMultiByte(codePage, 0, src, srcLen, bytes.data(), count, nullptr, nullptr) != count) {
    Fail("WideCharToMultiByte");
  }
  return bytes;
}

std::u16string SystemDecode(std::string_view aBytes, int aCodePage) {
  if (aBytes.empty()) return {};
  if (aBytes.size() > static_cast<size_t>(INT_MAX)) throw EMxError("Text too long to convert");
  const UINT codePage = static_cast<UINT>(aCodePage);
  const int srcLen = static_cast<int>(aBytes.size());
  const int count = MultiByteToWideChar(codePage, 0, aBytes.data(), srcLen, nullptr, 0);
  if (count <= 0) {
    if (GetLastError() == ERROR_INVALID_PARAMETER) {
      throw EMxError("Code page " + std::to_string(aCodePage) + " is not supported");
    }
    Fail("MultiByteToWideChar");
  }
  std::u16string text(static_cast<size_t>(count), u'\0');
  if (MultiByteToWideChar(codePage, 0, aBytes.data(), srcLen, reinterpret_cast<wchar_t*>(text.data()), count) !=
      count) {
    Fail("MultiByteToWideChar");
  }
  return text;
}

}  // namespace platform::detail
