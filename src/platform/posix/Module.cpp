#include "platform/Module.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>

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
void RunAtExit() { RunUnloadHandler(); }

__attribute__((destructor)) void RunAtUnload() { RunUnloadHandler(); }

}  // namespace

void SetUnloadHandler(UnloadHandler aHandler) {
  gUnloadHandler.store(aHandler);
  static std::atomic<bool> registered{false};
  if (!registered.exchange(true)) std::atexit(RunAtExit);
}

bool IsLibraryLoaded(const std::string& aPath) {
  void* handle = dlopen(aPath.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace platform
