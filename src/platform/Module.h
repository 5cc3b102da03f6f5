#pragma once
// The product library's own unload, as the operating system reports it.

namespace platform {

// aHandler runs once when the product library is unloaded or the process ends, before the
// library's static objects are destroyed. aMayJoinThreads is false on Windows, where the
// loader lock is held (joining a thread there hangs, and at process exit the other
// threads are already gone); natively the other threads still run and may be joined.
// Natively the handler runs before every static object that existed when it was set, so
// set it once the objects it uses have been built.
using UnloadHandler = void (*)(bool aMayJoinThreads);
void SetUnloadHandler(UnloadHandler aHandler);

}  // namespace platform
