#include "app/MessageHelpers.h"

#include "app/Application.h"
#include "platform/Host.h"
#include "platform/UserInterface.h"

namespace {

void ShowBox(tMx_MessageType aEntryType, std::string_view aMessage) {
  platform::ShowMessageBox(
      aEntryType == let_error ? platform::tkMessageBoxKind::Error : platform::tkMessageBoxKind::Information,
      aMessage);
}

// The process's object, or null when it cannot be built.
tMx_Application* ProcessApplication() {
  try {
    return &tMx_Application::Instance();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

void ShowMessageOrLog(tMx_Application& aApplication, tMx_MessageType aEntryType, std::string_view aMessage) {
  if (aApplication.IsBatch()) {
    aApplication.Log(aEntryType, aMessage);
  } else {
    ShowBox(aEntryType, aMessage);
  }
}

void ShowMessageOverWait(tMx_Application& aApplication, tMx_MessageType aEntryType, std::string_view aMessage) {
  tMx_Wait& wait = aApplication.Wait();
  const bool wasStarted = wait.Started();
  if (wasStarted) wait.Stop();
  ShowMessageOrLog(aApplication, aEntryType, aMessage);
  if (wasStarted) wait.Start();
}

void ShowMessageOrLog(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (tMx_Application* application = ProcessApplication()) {
    ShowMessageOrLog(*application, aEntryType, aMessage);
  } else if (GetParamValue("/BATCH", true).empty()) {
    // Without a log a box is all there is; in batch mode no one would close it.
    ShowBox(aEntryType, aMessage);
  }
}

void ShowMessageOverWait(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (tMx_Application* application = ProcessApplication()) {
    ShowMessageOverWait(*application, aEntryType, aMessage);
  } else {
    ShowMessageOrLog(aEntryType, aMessage);
  }
}
