#pragma once
// Bytes as the serial peer's commands and replies carry them: two lowercase hex digits each.
#include <string>
#include <string_view>

namespace serialpeer {

inline std::string Hex(std::string_view aBytes) {
  static const char* kDigits = "0123456789abcdef";
  std::string text;
  for (unsigned char b : aBytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

inline std::string Bytes(const std::string& aHex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < aHex.size(); i += 2) bytes += static_cast<char>(std::stoi(aHex.substr(i, 2), nullptr, 16));
  return bytes;
}

}  // namespace serialpeer
