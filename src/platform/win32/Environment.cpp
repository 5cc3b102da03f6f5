#include <windows.h>

#include <stdlib.h>

#include "platform/Environment.h"

namespace platform {

// Through the C runtime, which copies the text and also updates the process block: a
// library's getenv reads the runtime's own copy, not the process block.
bool SetEnvironmentValue(const std::string& aName, const std::string& aValue) {
  if (aName.empty() || aName.find('=') != std::string::npos) return false;
  const std::string assignment = aName + "=" + aValue;
  return _putenv(assignment.c_str()) == 0;
}

}  // namespace platform
