#include "platform/Automation.h"

#include "core/Errors.h"

namespace platform {

bool AutomationUsesCom() { return false; }

// No component is registered outside Windows; the text is the one Windows gives.
std::unique_ptr<AutomationObject> CreateAutomationObject(const char* aClassId, const char*) {
  throw EMxError(std::string("Class not registered, ClassID: ") + aClassId);
}

}  // namespace platform
