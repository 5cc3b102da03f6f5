#include "platform/Worker.h"

#include <system_error>

namespace platform {

WorkerThread& WorkerThread::operator=(WorkerThread&& aOther) noexcept {
  if (this != &aOther) {
    Join();
    fThread = std::move(aOther.fThread);
  }
  return *this;
}

bool WorkerThread::Start(std::function<void()> aWork) {
  Join();
  try {
    fThread = std::thread([work = std::move(aWork)] {
      try {
        work();
      } catch (...) {
      }
    });
    return true;
  } catch (...) {
    return false;
  }
}

bool WorkerThread::JoinWaits() { return true; }

void WorkerThread::Join() {
  if (!fThread.joinable()) return;
  // Released on its own thread, by the work's last owner: it is ending anyway.
  if (fThread.get_id() == std::this_thread::get_id()) {
    fThread.detach();
  } else {
    fThread.join();
  }
}

}  // namespace platform
