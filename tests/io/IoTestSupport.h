#pragma once
// Helpers for the I/O handler tests: log names of today and the error a call raises.
#include <string>

#include "core/Errors.h"
#include "log/LogTestSupport.h"
#include "platform/Platform.h"
#include "support/ErrorOf.h"

namespace iotest {

inline const std::string kStart = "*************************** START ***************************";
inline const std::string kStop = "*************************** STOP ****************************";
inline const std::string kStars = "*************************************************************";

// The target decides library names and error codes; the path separator tells it.
inline bool OnWindows() { return platform::kPathDelim == '\\'; }

// "yyyymmdd" of today, as daily log names carry it.
inline std::string Today() {
  const std::string d = logtest::DateNow();
  return d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2);
}

inline std::string DailyLogName(const std::string& aBase) { return aBase + "_" + Today() + ".log"; }

using ::ErrorOf;

}  // namespace iotest
