#pragma once
// Text across the export boundary: COM wide strings in, UTF-8 inside, COM wide strings out.
#include <string>
#include <string_view>

#include "platform/Bstr.h"

// The whole string as its length prefix gives it, embedded zeros included, as UTF-8.
// Unpaired surrogates and a dangling odd byte become U+FFFD; null is the empty text.
std::string BstrToUtf8(const char16_t* aText);

// Replaces aTarget with a new string holding aText, or with null for the empty text, and
// releases what aTarget held. Raises std::bad_alloc, leaving aTarget as it was, when the
// string cannot be had.
void AssignBstr(platform::Bstr& aTarget, std::string_view aText);
