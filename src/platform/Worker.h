#pragma once
// Threads that the library starts for background work.
#include <functional>
#include <thread>

namespace platform {

// One background thread at a time.
//
// Windows: the thread takes a reference on the module that holds this code before it is
// created and gives it back as its very last act (FreeLibraryAndExitThread). While a
// worker runs, a host's FreeLibrary therefore cannot unmap the code under it: the unload
// waits for the last worker and may then run on that worker's thread. Nothing joins the
// thread; it ends on its own.
// Elsewhere: an ordinary thread, joined by Join, by the next Start or by the destructor.
class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread() { Join(); }
  WorkerThread(WorkerThread&& aOther) noexcept = default;
  // Joins the thread this one held first.
  WorkerThread& operator=(WorkerThread&& aOther) noexcept;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs aWork on a new thread; an exception leaving aWork is swallowed. Joins the thread
  // started before, so that work must have come to its end. False, with aWork not run,
  // when no thread can be had.
  bool Start(std::function<void()> aWork);
  // Waits until the thread has ended (nothing on Windows, see above).
  void Join();
  // Whether Join waits for the thread: false on Windows, where at process exit the system
  // has ended every worker and nothing may wait for one.
  static bool JoinWaits();

 private:
  std::thread fThread;  // joinable threads exist only outside Windows
};

}  // namespace platform
