#include <windows.h>

#include <algorithm>

#include "core/Text.h"
#include "platform/Platform.h"

namespace platform {

namespace {

std::wstring Wide(std::string_view aUtf8) {
  const std::u16string text = Utf8ToUtf16(aUtf8);
  return std::wstring(text.begin(), text.end());
}

bool IsDirectory(const std::wstring& aPath) {
  const DWORD attributes = GetFileAttributesW(aPath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectoriesW(std::wstring aPath) {
  while (aPath.size() > 1 && (aPath.back() == L'\\' || aPath.back() == L'/')) aPath.pop_back();
  if (aPath.empty() || IsDirectory(aPath)) return !aPath.empty();
  const size_t delim = aPath.find_last_of(L"\\/");
  if (delim != std::wstring::npos && delim > 0) {
    const std::wstring parent = aPath.substr(0, delim);
    // A drive ("C:") or the top of a share is there or not; it cannot be created.
    if (!(parent.size() == 2 && parent[1] == L':') && !ForceDirectoriesW(parent)) return false;
  }
  return CreateDirectoryW(aPath.c_str(), nullptr) != 0 ||
         (GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(aPath));
}

}  // namespace

bool IsPathDelimiter(char aChar) { return aChar == '\\' || aChar == '/'; }

bool IsAbsolutePath(std::string_view aPath) {
  if (!aPath.empty() && IsPathDelimiter(aPath.front())) return true;
  const bool driveLetter = aPath.size() >= 2 && aPath[1] == ':' &&
                           ((aPath[0] >= 'A' && aPath[0] <= 'Z') || (aPath[0] >= 'a' && aPath[0] <= 'z'));
  return driveLetter;
}

bool HasInvalidPathChars(std::string_view aPath) {
  for (const char c : aPath) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || c == '"' || c == '<' || c == '>' || c == '|' || c == '*' || c == '?') return true;
  }
  return false;
}

bool ForceDirectories(const std::string& aPath) {
  if (aPath.empty() || HasInvalidPathChars(aPath)) return false;
  return ForceDirectoriesW(Wide(aPath));
}

bool FileExists(const std::string& aPath) {
  if (HasInvalidPathChars(aPath)) return false;
  const DWORD attributes = GetFileAttributesW(Wide(aPath).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int64_t FileSizeOf(const std::string& aPath) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (HasInvalidPathChars(aPath) ||
      !GetFileAttributesExW(Wide(aPath).c_str(), GetFileExInfoStandard, &data)) {
    return -1;
  }
  return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool MoveFileTo(const std::string& aFrom, const std::string& aTo) {
  if (HasInvalidPathChars(aFrom) || HasInvalidPathChars(aTo)) return false;
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail.
  return MoveFileExW(Wide(aFrom).c_str(), Wide(aTo).c_str(), 0) != 0;
}

bool AppendToFileShared(const std::string& aPath, std::string_view aData) {
  SharedAppendFile file;
  return file.Open(aPath) && file.Append(aData);
}

bool SharedAppendFile::Open(const std::string& aPath) {
  Close();
  if (aPath.empty() || HasInvalidPathChars(aPath)) return false;
  // No FILE_SHARE_WRITE: a second writer's open fails with a sharing violation. Write
  // access besides appending lets a failed append take back its part (see Append).
  const HANDLE handle = CreateFileW(Wide(aPath).c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  fHandle = reinterpret_cast<intptr_t>(handle);
  return true;
}

bool SharedAppendFile::Append(std::string_view aData) {
  if (fHandle == -1) return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(fHandle);
  // With write access the file pointer decides where data goes; nobody else writes while
  // this handle is open, so the end found here stays the end.
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(handle, LARGE_INTEGER{}, &start, FILE_END)) return false;
  size_t done = 0;
  while (done < aData.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(aData.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, aData.data() + done, chunk, &written, nullptr) || written == 0) {
      // A full disk can cut a run of lines; the cut part goes, so that writing them again
      // one by one repeats none.
      if (done > 0 || written > 0) {
        SetFilePointerEx(handle, start, nullptr, FILE_BEGIN);
        SetEndOfFile(handle);
      }
      return false;
    }
    done += written;
  }
  return true;
}

void SharedAppendFile::Close() {
  if (fHandle == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(fHandle));
  fHandle = -1;
}

}  // namespace platform
