#include <windows.h>

#include <string_view>

#include "core/Text.h"
#include "platform/Library.h"
#include "platform/Platform.h"

namespace platform {

namespace {

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

// "C:\..." or "\\server\share\..."; not the device namespaces "\\.\" and "\\?\".
bool IsAbsoluteFilePath(std::string_view aPath) {
  if (aPath.size() >= 3 && aPath[1] == ':' && IsDelimiter(aPath[2])) {
    const char d = aPath[0];
    return (d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z');
  }
  return aPath.size() >= 3 && IsDelimiter(aPath[0]) && IsDelimiter(aPath[1]) && aPath[2] != '.' &&
         aPath[2] != '?' && !IsDelimiter(aPath[2]);
}

// "\\host\pipe\...": a named pipe on that host; opening one may wait on its server.
bool IsPipePath(std::string_view aPath) {
  if (aPath.size() < 3 || !IsDelimiter(aPath[0]) || !IsDelimiter(aPath[1])) return false;
  const size_t share = aPath.find_first_of("\\/", 2);
  if (share == std::string_view::npos) return false;
  std::string name(aPath.substr(share + 1, 5));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return name == "pipe" || (name.size() == 5 && name.compare(0, 4, "pipe") == 0 && IsDelimiter(name[4]));
}

// CON, NUL, COM1 and the like name devices in every folder, with any extension.
bool IsReservedDeviceName(std::string_view aPath) {
  size_t start = aPath.size();
  while (start > 0 && !IsDelimiter(aPath[start - 1]) && aPath[start - 1] != ':') --start;
  std::string base(aPath.substr(start, aPath.find('.', start) == std::string_view::npos
                                           ? std::string_view::npos
                                           : aPath.find('.', start) - start));
  while (!base.empty() && (base.back() == ' ')) base.pop_back();
  for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$") {
    return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

DWORD AttributesOf(const std::string& aPath) {
  const std::u16string path = Utf8ToUtf16(aPath);
  return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
}

// The file a plain name stands for: in the host program's folder, else in the system
// folder; empty when neither has it. A name without extension gets ".dll", as the loader
// gives it.
std::string FindPlainName(std::string aName) {
  if (aName.find('.') == std::string::npos) aName += ".dll";
  const std::string exe = ExecutablePath();
  const size_t delim = exe.find_last_of("\\/");
  if (delim != std::string::npos) {
    const std::string candidate = exe.substr(0, delim + 1) + aName;
    if (AttributesOf(candidate) != INVALID_FILE_ATTRIBUTES) return candidate;
  }
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::string candidate =
        JoinPath(Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(system), length)), aName);
    if (AttributesOf(candidate) != INVALID_FILE_ATTRIBUTES) return candidate;
  }
  return {};
}

}  // namespace

void* LoadDeviceLibrary(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText) {
  aErrorCode = 0;
  std::string path;
  if (aName.find_first_of("\\/:") == std::string::npos) {
    if (IsReservedDeviceName(aName)) {
      aErrorText = aName + " is a device, not a library file";
      return nullptr;
    }
    path = FindPlainName(aName);
    if (path.empty()) {
      aErrorCode = ERROR_MOD_NOT_FOUND;
      aErrorText = SystemErrorMessage(aErrorCode);
      return nullptr;
    }
  } else if (aName.size() >= 4 && IsDelimiter(aName[0]) && IsDelimiter(aName[1]) &&
             (aName[2] == '.' || aName[2] == '?') && IsDelimiter(aName[3])) {
    aErrorText = aName + " is a device path, not a library file";
    return nullptr;
  } else if (IsAbsoluteFilePath(aName)) {
    path = aName;
    if (IsPipePath(path)) {
      aErrorText = path + " is a pipe, not a library file";
      return nullptr;
    }
  } else {
    aErrorText = "A library is named by a plain file name or an absolute path";
    return nullptr;
  }
  if (IsReservedDeviceName(path)) {
    aErrorText = path + " is a device, not a library file";
    return nullptr;
  }
  const DWORD attributes = AttributesOf(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      aErrorText = path + " is a folder, not a library file";
      return nullptr;
    }
    if (attributes & FILE_ATTRIBUTE_DEVICE) {
      aErrorText = path + " is a device, not a library file";
      return nullptr;
    }
  }
  return LoadLibraryFile(path, aErrorCode, aErrorText);
}

void* LoadLibraryFile(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText) {
  const std::u16string name = Utf8ToUtf16(aName);
  // A broken library must fail the call, not put a system dialog in front of the till.
  DWORD oldMode = 0;
  const BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t*>(name.c_str()));
  const DWORD error = module == nullptr ? GetLastError() : 0;
  if (modeSet) SetThreadErrorMode(oldMode, nullptr);
  if (module != nullptr) return reinterpret_cast<void*>(module);
  aErrorCode = error;
  aErrorText = SystemErrorMessage(error);
  return nullptr;
}

void* LibraryProcAddress(void* aLibrary, const std::string& aProcName) {
  if (aLibrary == nullptr || aProcName.empty()) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(aLibrary), aProcName.c_str()));
}

void FreeLibraryFile(void* aLibrary) {
  if (aLibrary != nullptr) FreeLibrary(static_cast<HMODULE>(aLibrary));
}

std::string SystemErrorMessage(uint32_t aErrorCode) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, aErrorCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return {};
  std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
  LocalFree(buffer);
  // System texts end with a line break.
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
  return Utf16ToUtf8(text);
}

}  // namespace platform
