#include "platform/Module.h"

#include <windows.h>

#include "core/Text.h"

namespace platform {

namespace {
UnloadHandler gUnloadHandler = nullptr;
}

void SetUnloadHandler(UnloadHandler aHandler) { gUnloadHandler = aHandler; }

bool IsLibraryLoaded(const std::string& aPath) {
  const std::u16string path = Utf8ToUtf16(aPath);
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<const wchar_t*>(path.c_str()), &module) != 0;
}

}  // namespace platform

// The C runtime calls this before it runs the library's static destructors, under the
// loader lock, both for FreeLibrary (aReserved null) and at process exit.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD aReason, LPVOID aReserved) {
  if (aReason == DLL_PROCESS_DETACH) {
    platform::UnloadHandler handler = platform::gUnloadHandler;
    platform::gUnloadHandler = nullptr;
    if (handler) handler(aReserved == nullptr);
  }
  return TRUE;
}
