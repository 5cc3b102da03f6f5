// COM wide strings from the system allocator (oleaut32).
#include "platform/Bstr.h"

#include <windows.h>
#include <oleauto.h>

namespace platform {

const char* const kBstrProviderLibrary = "oleaut32.dll";
const char* const kSharedLibrarySuffix = ".dll";

static_assert(sizeof(wchar_t) == sizeof(char16_t));

Bstr BstrAlloc(const char16_t* aText, uint32_t aLength) {
  return reinterpret_cast<Bstr>(
      SysAllocStringLen(reinterpret_cast<const OLECHAR*>(aText), aLength));
}

// Without a text the system leaves the units as they are.
Bstr BstrAllocUnfilled(uint32_t aLength) { return BstrAlloc(nullptr, aLength); }

Bstr BstrAllocBytes(const void* aBytes, uint32_t aByteLength) {
  return reinterpret_cast<Bstr>(SysAllocStringByteLen(static_cast<LPCSTR>(aBytes), aByteLength));
}

void BstrFree(Bstr aText) { SysFreeString(reinterpret_cast<BSTR>(aText)); }

uint32_t BstrLength(const char16_t* aText) {
  return SysStringLen(reinterpret_cast<BSTR>(const_cast<char16_t*>(aText)));
}

uint32_t BstrByteLength(const char16_t* aText) {
  return SysStringByteLen(reinterpret_cast<BSTR>(const_cast<char16_t*>(aText)));
}

}  // namespace platform
