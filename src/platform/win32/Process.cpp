#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "core/Text.h"
#include "platform/Platform.h"

namespace platform {

namespace {

std::string WideToUtf8(const wchar_t* aText, size_t aLength) {
  return Utf16ToUtf8(std::u16string(aText, aText + aLength));
}

}  // namespace

std::string ExecutablePath() {
  // NULL: the host program, not this library.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A result that fills the buffer was cut off.
    if (n < buffer.size()) return WideToUtf8(buffer.data(), n);
    if (buffer.size() >= 32768 * 2) return {};  // beyond the longest path Windows allows
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  const auto freeArgs = [](LPWSTR* p) { LocalFree(p); };
  const std::unique_ptr<LPWSTR, decltype(freeArgs)> argv(
      CommandLineToArgvW(GetCommandLineW(), &count), freeArgs);
  if (!argv) return {};
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(WideToUtf8(argv.get()[i], wcslen(argv.get()[i])));
  return args;
}

}  // namespace platform
