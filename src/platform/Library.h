#pragma once
// Loading libraries and resolving their functions; system error texts. UTF-8 names.
#include <cstdint>
#include <string>

namespace platform {

// Loads a library by file name or path, with the system's search order for a bare name.
// Gives nullptr on failure, with the system's error code (0 where the loader has no
// codes, as on POSIX) and its text.
void* LoadLibraryFile(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText);
// Address of an exported function; nullptr when the library has none of that name.
void* LibraryProcAddress(void* aLibrary, const std::string& aProcName);
void FreeLibraryFile(void* aLibrary);

// The system's text for an error code, without trailing line breaks.
std::string SystemErrorMessage(uint32_t aErrorCode);

}  // namespace platform
