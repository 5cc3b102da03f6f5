#include "platform/Worker.h"

#include <windows.h>

#include <memory>

namespace platform {

namespace {

struct WorkerJob {
  std::function<void()> fWork;
  HMODULE fModule = nullptr;
};

DWORD WINAPI RunWorker(LPVOID aJob) {
  HMODULE module;
  {
    std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(aJob));
    module = job->fModule;
    try {
      job->fWork();
    } catch (...) {
    }
  }
  // Gives the reference back without returning into code that may be unmapped by it: when
  // it was the last one, the module unloads here, on this thread.
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

WorkerThread& WorkerThread::operator=(WorkerThread&& aOther) noexcept {
  fThread = std::move(aOther.fThread);
  return *this;
}

bool WorkerThread::Start(std::function<void()> aWork) {
  std::unique_ptr<WorkerJob> job;
  try {
    job = std::make_unique<WorkerJob>();
    job->fWork = std::move(aWork);
  } catch (...) {
    return false;
  }
  // The module of this code: the product library, or a program that links it statically
  // (whose reference count this leaves as it was).
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunWorker), &job->fModule)) {
    return false;
  }
  HANDLE thread = CreateThread(nullptr, 0, &RunWorker, job.get(), 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(job->fModule);
    return false;
  }
  job.release();  // the thread owns it now
  CloseHandle(thread);
  return true;
}

void WorkerThread::Join() {}

bool WorkerThread::JoinWaits() { return false; }

}  // namespace platform
