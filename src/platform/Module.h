#pragma once
// The product library's own unload, as the operating system reports it.
#include <string>

namespace platform {

// aHandler runs once when the product library is unloaded or the process ends, before the
// library's static objects are destroyed. aOtherThreadsRun is true when the other threads
// of the process still run and may be waited for: at FreeLibrary and dlclose, and at
// process exit outside Windows. It is false at process exit on Windows, where the system
// has already ended them, perhaps holding a lock. On Windows the handler runs under the
// loader lock. Natively it runs before every static object that existed when it was set,
// so set it once the objects it uses have been built.
using UnloadHandler = void (*)(bool aOtherThreadsRun);
void SetUnloadHandler(UnloadHandler aHandler);

// True while the library of that path is loaded in this process (for hosts and tests: a
// library can stay loaded after its last FreeLibrary until its workers have ended).
bool IsLibraryLoaded(const std::string& aPath);

}  // namespace platform
