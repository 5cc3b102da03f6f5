#pragma once
// Regional settings whose time separator is a point, for the scope of the object: on
// Windows the user's setting (put back afterwards); elsewhere a small locale built in a
// temporary folder and named by LOCPATH and LC_TIME.
#include <optional>
#include <string>

#include "support/ScopedEnv.h"

class ScopedPointTimeSeparator {
 public:
  ScopedPointTimeSeparator();
  ~ScopedPointTimeSeparator();
  ScopedPointTimeSeparator(const ScopedPointTimeSeparator&) = delete;
  ScopedPointTimeSeparator& operator=(const ScopedPointTimeSeparator&) = delete;

  // Empty when the settings are in place, else why not.
  const std::string& Failure() const { return fFailure; }

 private:
  std::string fFailure;
  std::optional<std::wstring> fSaved;  // Windows: the user's separator before
  std::optional<ScopedEnv> fLocPath, fTime, fAll;
};
