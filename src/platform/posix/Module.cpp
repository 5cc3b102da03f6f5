#include "platform/Module.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <atomic>

extern "C" void* __dso_handle;

namespace platform {

namespace {

std::atomic<UnloadHandler> gUnloadHandler{nullptr};

void RunUnloadHandler() {
  UnloadHandler handler = gUnloadHandler.exchange(nullptr);
  if (handler) handler(true);
}

// At dlclose the destructor function runs first, before the library's static destructors.
// At exit every exit handler, static destructors included, runs before any destructor
// function; there the handler registered below runs first instead, being registered after
// the statics it uses were built (exit handlers run last-registered first).
void RunAtExit(void*) { RunUnloadHandler(); }

__attribute__((destructor)) void RunAtUnload() { RunUnloadHandler(); }

}  // namespace

void SetUnloadHandler(UnloadHandler aHandler) {
  gUnloadHandler.store(aHandler);
  static std::atomic<bool> registered{false};
  // Registered for this library as the compiler registers its static destructors, so it
  // is run or dropped at dlclose and never called once the code is gone. (std::atexit means
  // the same in glibc, but a runtime that intercepts it, as the thread sanitizer's does,
  // may keep it for the process.)
  if (!registered.exchange(true)) abi::__cxa_atexit(&RunAtExit, nullptr, &__dso_handle);
}

bool IsLibraryLoaded(const std::string& aPath) {
  void* handle = dlopen(aPath.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace platform
