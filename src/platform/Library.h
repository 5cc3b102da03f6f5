#pragma once
// Loading libraries and resolving their functions; system error texts. UTF-8 names.
#include <cstdint>
#include <string>

namespace platform {

// Loads a library by file name or path, with the system's search order for a bare name.
// Gives nullptr on failure, with the system's error code (0 where the loader has no
// codes, as on POSIX) and its text.
void* LoadLibraryFile(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText);
// Loads a device's library. aName is a plain file name, looked up in the host program's
// folder and then in the system's library path (natively: LD_LIBRARY_PATH, then the
// loader's own), or an absolute path. Only a regular file is loaded: a folder, a device, a
// pipe or a socket is refused before anything opens it, so the call never blocks on one;
// so is a relative path with folders. Failures as LoadLibraryFile.
void* LoadDeviceLibrary(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText);
// Address of an exported function; nullptr when the library has none of that name.
void* LibraryProcAddress(void* aLibrary, const std::string& aProcName);
void FreeLibraryFile(void* aLibrary);

// The system's text for an error code, without trailing line breaks.
std::string SystemErrorMessage(uint32_t aErrorCode);

}  // namespace platform
