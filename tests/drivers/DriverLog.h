#pragma once
// Reading a device log back: its entries without the time stamps, and the driver's own.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace drivertest {

inline std::string ReadWholeFile(const std::string& aPath) {
  std::ifstream file(std::filesystem::path(aPath), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The entries of a log: each line without its time stamp and " - " ("ERROR - " stays in
// front of error entries); a line break inside an entry is kept as CR LF.
inline std::vector<std::string> LogEntries(const std::string& aLogText) {
  auto stamped = [](std::string_view aLine) {
    static constexpr char kShape[] = "dddd-dd-dd dd:dd:dd:ddd - ";
    if (aLine.size() < sizeof kShape - 1) return false;
    for (size_t i = 0; i < sizeof kShape - 1; ++i) {
      const bool digit = std::isdigit(static_cast<unsigned char>(aLine[i])) != 0;
      if (kShape[i] == 'd' ? !digit : aLine[i] != kShape[i]) return false;
    }
    return true;
  };
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < aLogText.size()) {
    size_t end = aLogText.find("\r\n", start);
    if (end == std::string::npos) end = aLogText.size();
    const std::string_view line(aLogText.data() + start, end - start);
    if (stamped(line)) {
      entries.emplace_back(line.substr(26));
    } else if (!entries.empty()) {
      entries.back().append("\r\n").append(line);
    }
    start = end + 2;
  }
  return entries;
}

// Only the driver's own entries: component calls and the driver's notes.
inline std::vector<std::string> DriverEntries(const std::vector<std::string>& aEntries) {
  std::vector<std::string> driver;
  for (const std::string& entry : aEntries) {
    const std::string_view text = std::string_view(entry).starts_with("ERROR - ") ? std::string_view(entry).substr(8)
                                                                                  : std::string_view(entry);
    if (text.starts_with("fVirPay.") || text.starts_with("MVP_Commit:") || text.starts_with("MVP_Begin:") ||
        text.starts_with("DoRefund:") || text.starts_with("DoVoid:")) {
      driver.push_back(entry);
    }
  }
  return driver;
}

}  // namespace drivertest
