#pragma once
// The system's own code-page conversions (posix/ and win32/CodePage.cpp), for the code
// pages that EncodeText and DecodeText do not convert themselves.
#include <string>
#include <string_view>

namespace platform::detail {

// Characters the code page lacks become its default character; raises EMxError when the
// system has no such code page.
std::string SystemEncode(std::u16string_view aText, int aCodePage);
std::u16string SystemDecode(std::string_view aBytes, int aCodePage);

}  // namespace platform::detail
