#pragma once
// Drives a build of the product library through its exports, as a POS host does: the
// library is loaded by file name from this program's folder, strings come from the
// system's string allocator (natively: the helpers the library exports).
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Bstr.h"

inline constexpr char kProductLibrary[] = "VELO_VIROZI_10";
inline constexpr char kTestDriverLibrary[] = "VELO_VIROZI_10_testdrv";

using tkExport16 = int16_t(VELO_STDCALL*)(platform::Bstr, platform::Bstr*, platform::Bstr*);
using tkExport32 = uint32_t(VELO_STDCALL*)(platform::Bstr, platform::Bstr*, platform::Bstr*);

// One export's answer, the strings already released.
struct tkAnswer {
  int16_t Result = 0;
  bool OutputNull = true;
  std::string Output;
  bool ErrorNull = true;
  std::string Error;
};

class tkProductLibrary {
 public:
  // Loads <this program's folder>/aName + .dll or .so; raises std::runtime_error.
  explicit tkProductLibrary(const std::string& aName);
  ~tkProductLibrary();
  tkProductLibrary(const tkProductLibrary&) = delete;
  tkProductLibrary& operator=(const tkProductLibrary&) = delete;

  // Unloads now (the destructor does it otherwise) and waits until the library has left
  // the process (a test failure when it does not, in time). True when it was still there
  // right after its release.
  bool Unload();
  bool Loaded() const { return fLibrary != nullptr; }
  static std::string PathOf(const std::string& aName);

  // Null when the library has no such export.
  void* Symbol(const char* aName) const;
  tkExport16 Export(const char* aName) const;
  tkExport32 Export32(const char* aName) const;

  // Calls aExport with aRequest (UTF-8) as a fresh string, then releases the answer's
  // strings and the request.
  tkAnswer Call(const char* aExport, std::string_view aRequest) const;
  // The same with a request string the caller made (and releases); null is allowed.
  tkAnswer CallWith(const char* aExport, platform::Bstr aRequest) const;

  // The string helpers of the host's platform.
  platform::Bstr Alloc(std::u16string_view aText) const;
  void Free(platform::Bstr aText) const;
  uint32_t Length(platform::Bstr aText) const;

 private:
  std::string fPath;
  void* fLibrary = nullptr;
  void* fBstrLibrary = nullptr;  // the system's, on Windows
  platform::Bstr(VELO_STDCALL* fAlloc)(const char16_t*, uint32_t) = nullptr;
  void(VELO_STDCALL* fFree)(platform::Bstr) = nullptr;
  uint32_t(VELO_STDCALL* fLength)(platform::Bstr) = nullptr;
};

// A request for the test driver (or the driver aDriver): LogId aLogId, the channel-less
// COM connection, aHandle when not 0, then aBody inside the root element.
std::string Request(std::string_view aDriver, int32_t aHandle, std::string_view aLogId,
                    std::string_view aBody = {});

// The element aName of a response fragment; "<missing>" when absent.
std::string Element(const std::string& aFragment, std::string_view aName);

// Folder of this program's device logs, ending with the separator.
std::string PaymentLogFolder();
// Every device log of aDriver and aLogId (any date), concatenated; removed with aRemove.
std::string ReadDeviceLogs(std::string_view aDriver, std::string_view aLogId);
void RemoveDeviceLogs(std::string_view aDriver, std::string_view aLogId);
