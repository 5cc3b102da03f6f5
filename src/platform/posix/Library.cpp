#include <dlfcn.h>
#include <link.h>

#include <cerrno>
#include <cstring>

#include "platform/Library.h"

namespace platform {

void* LoadLibraryFile(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText) {
  // dlopen("") hands out the host program itself; a device library must be named.
  if (aName.empty()) {
    aErrorCode = 0;
    aErrorText = SystemErrorMessage(ENOENT);
    return nullptr;
  }
  void* handle = dlopen(aName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) return handle;
  // The loader reports a text only; errno after a failed search is whatever its last
  // probe left, so no code is given.
  aErrorCode = 0;
  const char* text = dlerror();
  aErrorText = text != nullptr ? text : "unknown error";
  return nullptr;
}

void* LibraryProcAddress(void* aLibrary, const std::string& aProcName) {
  if (aLibrary == nullptr || aProcName.empty()) return nullptr;
  dlerror();
  void* address = dlsym(aLibrary, aProcName.c_str());
  if (address == nullptr) return nullptr;
  // dlsym also searches the libraries this one depends on; only the library's own
  // functions count, as with Windows export tables.
  link_map* map = nullptr;
  Dl_info info{};
  if (dlinfo(aLibrary, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return nullptr;
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || map->l_name == nullptr) return nullptr;
  if (std::strcmp(info.dli_fname, map->l_name) != 0) return nullptr;
  return address;
}

void FreeLibraryFile(void* aLibrary) {
  if (aLibrary != nullptr) dlclose(aLibrary);
}

std::string SystemErrorMessage(uint32_t aErrorCode) {
  char buffer[256] = {};
  // GNU strerror_r gives a pointer that may or may not be into the buffer.
  const char* text = strerror_r(static_cast<int>(aErrorCode), buffer, sizeof buffer);
  return text != nullptr ? text : std::string();
}

}  // namespace platform
