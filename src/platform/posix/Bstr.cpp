// The native COM wide string allocator: the Windows layout (32-bit byte length before the
// text, a zero unit after it) on the C heap.
#include "platform/Bstr.h"

#include <cstdlib>
#include <cstring>

namespace platform {

const char* const kBstrProviderLibrary = "";
const char* const kSharedLibrarySuffix = ".so";

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);
constexpr size_t kTerminator = sizeof(char16_t);
// The byte length must fit its 32-bit prefix together with the terminator.
constexpr uint32_t kMaxByteLength = 0xFFFFFFFFu - kPrefix - kTerminator;

uint32_t* PrefixOf(const char16_t* aText) {
  return reinterpret_cast<uint32_t*>(
      const_cast<char*>(reinterpret_cast<const char*>(aText)) - kPrefix);
}

// The text of a new string of aByteLength bytes, its prefix written and the bytes after it
// zero: room for an odd length plus a whole zero unit. The text itself is the caller's.
char* NewText(uint32_t aByteLength) {
  if (aByteLength > kMaxByteLength) return nullptr;
  constexpr size_t kTail = 1 + kTerminator;
  char* block = static_cast<char*>(std::malloc(kPrefix + aByteLength + kTail));
  if (!block) return nullptr;
  std::memcpy(block, &aByteLength, kPrefix);
  char* text = block + kPrefix;
  std::memset(text + aByteLength, 0, kTail);
  return text;
}

}  // namespace

Bstr BstrAllocBytes(const void* aBytes, uint32_t aByteLength) {
  char* text = NewText(aByteLength);
  if (!text) return nullptr;
  if (aBytes && aByteLength) std::memcpy(text, aBytes, aByteLength);
  else std::memset(text, 0, aByteLength);
  return reinterpret_cast<Bstr>(text);
}

Bstr BstrAllocUnfilled(uint32_t aLength) {
  if (aLength > kMaxByteLength / 2) return nullptr;
  return reinterpret_cast<Bstr>(NewText(aLength * 2));
}

Bstr BstrAlloc(const char16_t* aText, uint32_t aLength) {
  if (aLength > kMaxByteLength / 2) return nullptr;
  return BstrAllocBytes(aText, aLength * 2);
}

void BstrFree(Bstr aText) {
  if (aText) std::free(PrefixOf(aText));
}

uint32_t BstrByteLength(const char16_t* aText) {
  if (!aText) return 0;
  uint32_t length;
  std::memcpy(&length, PrefixOf(aText), kPrefix);
  return length;
}

uint32_t BstrLength(const char16_t* aText) { return BstrByteLength(aText) / 2; }

}  // namespace platform

// The Windows names, for host programs of the native library.
extern "C" {

VELO_EXPORT char16_t* SysAllocStringLen(const char16_t* aText, uint32_t aLength) {
  return platform::BstrAlloc(aText, aLength);
}

VELO_EXPORT void SysFreeString(char16_t* aText) { platform::BstrFree(aText); }

VELO_EXPORT uint32_t SysStringLen(char16_t* aText) { return platform::BstrLength(aText); }

}  // extern "C"
