#pragma once
// The process's environment variables, as the C runtime that every module of the process
// shares reads them (getenv). UTF-8 names and values.
#include <string>

namespace platform {

// Sets aName to aValue; an empty aValue removes the variable. False on failure.
bool SetEnvironmentValue(const std::string& aName, const std::string& aValue);

}  // namespace platform
