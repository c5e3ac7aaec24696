// Conversions between UTF-8 (used everywhere inside) and UTF-16 (the Windows
// call boundary). Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// Unpaired surrogates become U+FFFD; never fails.
std::string utf16_to_utf8(std::u16string_view text);

// Invalid UTF-8 sequences become U+FFFD; never fails.
std::u16string utf8_to_utf16(std::string_view text);

}  // namespace quarvel
