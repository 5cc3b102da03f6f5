#pragma once
// Text resources of the library, decoded.
#include <string>
#include <string_view>
#include <vector>

// A text resource as lines: a byte-order mark selects UTF-8 or UTF-16, otherwise the
// bytes are in the system's ANSI code page. Lines end at CR LF, CR or LF; a line end at
// the very end adds no empty line.
std::vector<std::string> TextResourceLines(std::string_view aBytes);
