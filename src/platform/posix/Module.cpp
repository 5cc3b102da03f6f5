#include "platform/Module.h"

#include <atomic>
#include <cstdlib>

namespace platform {

namespace {

std::atomic<UnloadHandler> gUnloadHandler{nullptr};

void RunUnloadHandler() {
  UnloadHandler handler = gUnloadHandler.exchange(nullptr);
  if (handler) handler(true);
}

// At dlclose and at exit, exit handlers of this library run last-registered first, so a
// handler registered here runs before the destructors of the statics built before it.
// (A destructor function would run after them at exit.)
void RunAtExit() { RunUnloadHandler(); }

// Only if registering the exit handler failed.
__attribute__((destructor)) void RunAtUnmap() { RunUnloadHandler(); }

}  // namespace

void SetUnloadHandler(UnloadHandler aHandler) {
  gUnloadHandler.store(aHandler);
  static std::atomic<bool> registered{false};
  if (!registered.exchange(true)) std::atexit(RunAtExit);
}

}  // namespace platform
