#include "platform/Environment.h"

#include <stdlib.h>

namespace platform {

bool SetEnvironmentValue(const std::string& aName, const std::string& aValue) {
  if (aName.empty() || aName.find('=') != std::string::npos) return false;
  return (aValue.empty() ? unsetenv(aName.c_str()) : setenv(aName.c_str(), aValue.c_str(), 1)) == 0;
}

}  // namespace platform
