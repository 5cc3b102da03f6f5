#pragma once
// The operating system as the rest of the library sees it. Only src/platform includes
// system headers; every text here is UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTime.h"

namespace platform {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

// Clock: the local time of day with milliseconds.
DateTimeParts LocalNow();

// Process: full path of the host program's executable (not this library), and the host's
// command line split into arguments, the program name first.
std::string ExecutablePath();
std::vector<std::string> CommandLineArguments();

// Files. None of them throws; failures are reported by the result.
bool IsPathDelimiter(char aChar);
// aName inside aFolder: one separator between them, none when aFolder is empty.
std::string JoinPath(std::string_view aFolder, std::string_view aName);
bool IsAbsolutePath(std::string_view aPath);
// True when aPath has characters that no file name may hold.
bool HasInvalidPathChars(std::string_view aPath);
// Creates the folder and its missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& aPath);
bool FileExists(const std::string& aPath);
// Size from the file's attributes, without opening it; -1 when they cannot be read.
int64_t FileSizeOf(const std::string& aPath);
bool MoveFileTo(const std::string& aFrom, const std::string& aTo);
// Creates the file when missing, appends aData, flushes and closes. While it is open other
// processes may read the file but not write it; a file held by another writer fails.
bool AppendToFileShared(const std::string& aPath, std::string_view aData);

// Code pages: aUtf8 turned into bytes of the system's ANSI code page, then decoded again
// with code page aDecodeCodePage (0 = the system's ANSI code page).
std::string ReencodeAnsiText(std::string_view aUtf8, int aDecodeCodePage);

}  // namespace platform

// ---- Log files held open for a run of appends (log writer) -------------------------
namespace platform {

// A file opened for appending, created when missing. While it is open other processes may
// read it but no other writer may open it (natively an advisory lock that every writer of
// this library takes), so a second writer's Open fails until this one closes.
class SharedAppendFile {
 public:
  SharedAppendFile() = default;
  ~SharedAppendFile() { Close(); }
  SharedAppendFile(const SharedAppendFile&) = delete;
  SharedAppendFile& operator=(const SharedAppendFile&) = delete;

  // False when the file cannot be created or opened, or another writer holds it.
  bool Open(const std::string& aPath);
  // Appends all of aData and hands it to the operating system. False on failure; where the
  // system allows it, a part written before the failure is taken back.
  bool Append(std::string_view aData);
  void Close();
  bool IsOpen() const { return fHandle != -1; }

 private:
  intptr_t fHandle = -1;
};

}  // namespace platform

// --- code pages (src/platform/*/CodePage.cpp) ------------------------------------------
namespace platform {

// The system's ANSI code page; outside Windows this library treats it as 1252.
int AnsiCodePage();

// Text as bytes on a wire. Code page 0 is the 8-bit encoding: a code point up to 255 is
// one byte of that value, any other code point '?'. Otherwise a Windows code page: 1200
// and 1201 UTF-16 little- and big-endian without byte-order mark, 20127 US-ASCII
// (others '?'), 65000 UTF-7, 65001 UTF-8, other numbers the system's conversion of that
// code page. Raises EMxError for a code page the system does not have.
std::string EncodeText(std::string_view aUtf8, int aCodePage);
// Bytes back to text with the same code pages; bytes that do not decode become U+FFFD,
// and in US-ASCII '?'.
std::string DecodeText(std::string_view aBytes, int aCodePage);

}  // namespace platform
