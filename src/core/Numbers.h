#pragma once
// Whole numbers read from text: the one integer parser of the library.
#include <cstdint>
#include <optional>
#include <string_view>

struct tkIntegerSyntax {
  bool LeadingBlanks = true;  // blanks (' ') may come first
  bool Hex = false;           // "$", "x", "X", "0x" or "0X" may start hexadecimal digits
};

// An optional sign, then decimal digits, and nothing after them. Decimal values must fit
// 32 bits signed. Hexadecimal takes up to 32 bits read as two's complement, so $FFFFFFFF
// is -1 and a minus sign negates that pattern; more than 32 significant bits fail.
// nullopt when the text is no such number.
std::optional<int32_t> ParseInt32(std::string_view aText, tkIntegerSyntax aSyntax = {});
