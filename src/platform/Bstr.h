#pragma once
// COM wide strings, the text type of the exported functions: UTF-16 code units preceded by
// a 32-bit byte length and followed by a zero unit; a null pointer is the empty string.
// Windows allocates them in oleaut32; the native build has an allocator of its own with
// the same layout, exported from the product library under the Windows names.
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
// Arguments right to left, the callee pops them: what the POS hosts call.
#define VELO_STDCALL __stdcall
// Windows exports come from the .def file only, which link-time optimization does not
// read: the functions must stay visible to the linker that does.
#define VELO_EXPORT __attribute__((externally_visible))
#else
#define VELO_STDCALL
#define VELO_EXPORT __attribute__((visibility("default")))
#endif

namespace platform {

using Bstr = char16_t*;

// A new string of aLength units copied from aText (zero-filled when aText is null), or
// null when memory runs out. A length of 0 gives an empty, non-null string.
Bstr BstrAlloc(const char16_t* aText, uint32_t aLength);
// A new string of aLength units that the caller fills in full before anyone reads it (its
// terminator is set), or null when memory runs out: nothing is written twice.
Bstr BstrAllocUnfilled(uint32_t aLength);
// A new string of aByteLength bytes, which may be odd; the bytes after the copy are zero.
Bstr BstrAllocBytes(const void* aBytes, uint32_t aByteLength);
void BstrFree(Bstr aText);
// Length in code units / in bytes, from the prefix; 0 for null.
uint32_t BstrLength(const char16_t* aText);
uint32_t BstrByteLength(const char16_t* aText);

// The file that holds SysAllocStringLen, SysFreeString and SysStringLen for a host
// program: the system's library on Windows, empty natively, where the product library
// exports them itself.
extern const char* const kBstrProviderLibrary;
// File name suffix of shared libraries: ".dll" or ".so".
extern const char* const kSharedLibrarySuffix;

}  // namespace platform
