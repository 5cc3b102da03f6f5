#include "platform/Module.h"

#include <windows.h>

namespace platform {

namespace {
UnloadHandler gUnloadHandler = nullptr;
}

void SetUnloadHandler(UnloadHandler aHandler) { gUnloadHandler = aHandler; }

}  // namespace platform

// The C runtime calls this before it runs the library's static destructors, under the
// loader lock, both for FreeLibrary and at process exit.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD aReason, LPVOID) {
  if (aReason == DLL_PROCESS_DETACH) {
    platform::UnloadHandler handler = platform::gUnloadHandler;
    platform::gUnloadHandler = nullptr;
    if (handler) handler(false);
  }
  return TRUE;
}
