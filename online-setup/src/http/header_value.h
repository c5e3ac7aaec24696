// Turns the UTF-16 value of a response header into text. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// UTF-8 of the units with unpaired surrogates as U+FFFD and trailing NUL
// characters removed. Never fails.
std::string header_value_text(std::u16string_view units);

}  // namespace quarvel
