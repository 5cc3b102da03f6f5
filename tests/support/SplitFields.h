#pragma once
// Fields of a reply or journal line, counted from 0 here (the driver counts from 1).
#include <string>
#include <string_view>
#include <vector>

inline std::vector<std::string> Split(std::string_view aText, char aSeparator) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t end = aText.find(aSeparator, start);
    fields.emplace_back(aText.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}
