#pragma once
// Number formats of the process's regional settings. Texts are UTF-8.
#include <string>

namespace platform {

// The decimal separator of the regional settings (one character, possibly several UTF-8
// bytes); "." when the settings name none.
std::string RegionalDecimalSeparator();

// The time separator of the regional settings (one character, possibly several UTF-8
// bytes), read when called; ":" when the settings name none.
std::string RegionalTimeSeparator();

}  // namespace platform
