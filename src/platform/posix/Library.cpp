#include <dlfcn.h>
#include <link.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/Library.h"
#include "platform/Platform.h"

namespace platform {

namespace {

// Why aPath cannot be loaded as a library, or empty when it is a regular file (following
// links). A missing file gives empty too: the loader reports that in its own words.
std::string RefusalOf(const std::string& aPath) {
  struct stat info {};
  if (::stat(aPath.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return aPath + " is a folder, not a library file";
  if (S_ISFIFO(info.st_mode)) return aPath + " is a pipe, not a library file";
  if (S_ISSOCK(info.st_mode)) return aPath + " is a socket, not a library file";
  return aPath + " is a device, not a library file";
}

// The file a plain name stands for in the host's folder, then in LD_LIBRARY_PATH; empty
// when none has it, the loader then searches its cache and the system's folders.
std::string FindPlainName(const std::string& aName) {
  const std::string exe = ExecutablePath();
  const size_t slash = exe.rfind('/');
  if (slash != std::string::npos) {
    const std::string candidate = exe.substr(0, slash + 1) + aName;
    if (::access(candidate.c_str(), F_OK) == 0) return candidate;
  }
  const char* path = std::getenv("LD_LIBRARY_PATH");
  std::string_view folders = path != nullptr ? path : "";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    const std::string candidate = JoinPath(folder.empty() ? "." : folder, aName);
    if (::access(candidate.c_str(), F_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace

void* LoadDeviceLibrary(const std::string& aName, uint32_t& aErrorCode, std::string& aErrorText) {
  aErrorCode = 0;
  if (aName.empty()) return LoadLibraryFile(aName, aErrorCode, aErrorText);
  std::string path;
  if (aName.find('/') == std::string::npos) {
    path = FindPlainName(aName);
    // Only the loader's cache and the system's folders are left; they are the system's.
    if (path.empty()) return LoadLibraryFile(aName, aErrorCode, aErrorText);
  } else if (aName.front() == '/') {
    path = aName;
  } else {
    aErrorText = "A library is named by a plain file name or an absolute path";
    return nullptr;
  }
  aErrorText = RefusalOf(path);
  if (!aErrorText.empty()) return nullptr;
  return LoadLibraryFile(path, aErrorCode, aErrorText);
}

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
