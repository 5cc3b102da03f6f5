// The user-interface exception handler: no system call, the same on every system.
#include <exception>
#include <mutex>

#include "platform/UserInterface.h"

namespace platform {

namespace {
std::mutex gHandlerLock;
UiExceptionHandler gHandler;
}  // namespace

void SetUiExceptionHandler(UiExceptionHandler aHandler) {
  std::lock_guard lock(gHandlerLock);
  gHandler = std::move(aHandler);
}

void RunUiEvent(const std::function<void()>& aEvent) noexcept {
  std::string message;
  try {
    aEvent();
    return;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
  }
  try {
    UiExceptionHandler handler;
    {
      std::lock_guard lock(gHandlerLock);
      handler = gHandler;
    }
    if (handler) handler(message);
  } catch (...) {
    // The handler's own failure has nowhere left to go.
  }
}

}  // namespace platform
