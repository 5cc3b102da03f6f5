#include "support/ScopedEnv.h"

#include <cstdlib>
#include <stdexcept>
#include <utility>

void SetEnv(const std::string& aName, const std::string& aValue) {
#ifdef _WIN32
  const int failed = _putenv_s(aName.c_str(), aValue.c_str());
#else
  const int failed = setenv(aName.c_str(), aValue.c_str(), 1);
#endif
  if (failed) throw std::runtime_error("cannot set environment variable " + aName);
}

void UnsetEnv(const std::string& aName) {
#ifdef _WIN32
  const int failed = _putenv_s(aName.c_str(), "");
#else
  const int failed = unsetenv(aName.c_str());
#endif
  if (failed) throw std::runtime_error("cannot remove environment variable " + aName);
}

ScopedEnv::ScopedEnv(std::string aName, std::optional<std::string> aValue) : fName(std::move(aName)) {
  if (const char* old = std::getenv(fName.c_str())) fSaved = old;
  Set(aValue);
}

ScopedEnv::~ScopedEnv() {
  try {
    if (fSaved) SetEnv(fName, *fSaved);
    else UnsetEnv(fName);
  } catch (...) {
  }
}

void ScopedEnv::Set(const std::optional<std::string>& aValue) {
  if (aValue) SetEnv(fName, *aValue);
  else UnsetEnv(fName);
}
