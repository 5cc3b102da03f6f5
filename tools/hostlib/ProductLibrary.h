#pragma once
// The POS host's side of the product library: the library loaded by file name, its exports
// called with COM wide strings from the platform's string allocator (natively the helpers
// the library exports itself), answers handed back as UTF-8.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Bstr.h"

inline constexpr char kProductLibrary[] = "VELO_VIROZI_10";

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

// What an unload came to.
struct tkUnloadResult {
  // The library was still in the process right after its release: its log workers were
  // still writing (Windows), and it left when they ended.
  bool Deferred = false;
  // The library has left the process (false: still there when the wait ran out).
  bool Gone = true;
};

// A library file named by its path (relative paths from the working folder).
struct tkLibraryFile {
  std::string Path;
};

class tkProductLibrary {
 public:
  // Loads <this program's folder>/aName + .dll or .so; raises std::runtime_error.
  explicit tkProductLibrary(const std::string& aName);
  // Loads the file aFile.Path; raises std::runtime_error.
  explicit tkProductLibrary(const tkLibraryFile& aFile);
  ~tkProductLibrary();
  tkProductLibrary(const tkProductLibrary&) = delete;
  tkProductLibrary& operator=(const tkProductLibrary&) = delete;

  // Unloads now (the destructor does it otherwise, unless told to leave it loaded) and
  // waits up to aWait until the library has left the process, so its device logs are
  // complete and a later load gets a fresh copy.
  tkUnloadResult Unload(std::chrono::milliseconds aWait = std::chrono::seconds(30));
  bool Loaded() const { return fLibrary != nullptr; }
  // With false the destructor leaves the library to the end of the process, which then
  // closes the devices still open the way a POS that simply exits does.
  void SetUnloadOnDestroy(bool aUnload) { fUnloadOnDestroy = aUnload; }
  // The file that was loaded.
  const std::string& Path() const { return fPath; }
  static std::string PathOf(const std::string& aName);

  // Null when the library has no such export.
  void* Symbol(const char* aName) const;
  tkExport16 Export(const char* aName) const;
  tkExport32 Export32(const char* aName) const;

  // Calls aExport with aRequest (UTF-8) as a fresh string, then releases the answer's
  // strings and the request. Raises std::runtime_error when there is no such export.
  tkAnswer Call(const char* aExport, std::string_view aRequest) const;
  // The same with a request string the caller made (and releases); null is allowed.
  tkAnswer CallWith(const char* aExport, platform::Bstr aRequest) const;

  // The string helpers of the host's platform.
  platform::Bstr Alloc(std::u16string_view aText) const;
  void Free(platform::Bstr aText) const;
  uint32_t Length(platform::Bstr aText) const;

 private:
  void Load(const std::string& aPath);

  std::string fPath;
  void* fLibrary = nullptr;
  void* fBstrLibrary = nullptr;  // the system's, on Windows
  bool fUnloadOnDestroy = true;
  platform::Bstr(VELO_STDCALL* fAlloc)(const char16_t*, uint32_t) = nullptr;
  void(VELO_STDCALL* fFree)(platform::Bstr) = nullptr;
  uint32_t(VELO_STDCALL* fLength)(platform::Bstr) = nullptr;
};

// The element aName of a response fragment, as written (still escaped); "<missing>" when
// absent.
std::string Element(const std::string& aFragment, std::string_view aName);
