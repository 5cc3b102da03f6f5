#pragma once
// The transports' log entries as tests compare them. Transfers are logged as they are, so
// an entry may hold line feeds of its own: entries are split at CR LF only.
#include <string>
#include <vector>

#include "log/LogTestSupport.h"

namespace iotest {

// Each entry after its time stamp: "message", or "ERROR - message" for errors.
inline std::vector<std::string> LogEntries(const std::string& aPath) {
  const std::string text = logtest::ReadAll(aPath);
  std::vector<std::string> entries;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    entries.push_back(line.size() >= 26 ? line.substr(26) : "<short line: " + line + ">");
    start = end + 2;
  }
  return entries;
}

// The entries that follow the last one equal to aMarker (all of them without it).
inline std::vector<std::string> EntriesAfter(const std::vector<std::string>& aEntries, const std::string& aMarker) {
  for (size_t i = aEntries.size(); i-- > 0;) {
    if (aEntries[i] == aMarker) return {aEntries.begin() + static_cast<long>(i) + 1, aEntries.end()};
  }
  return aEntries;
}

}  // namespace iotest
