// The process's argument list and its look-ups. Pure functions, any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// UTF-8 arguments, element 0 the program path.
using ArgumentList = std::vector<std::string>;

// Splits a command line by the Microsoft C runtime rules. Element 0 ends at the
// first space or tab outside quotes, and its quotes only toggle quoting. An
// empty command line yields {program_file_name}. Unpaired surrogates become
// U+FFFD.
ArgumentList split_command_line(std::u16string_view command_line,
                                std::u16string_view program_file_name);

// True when any element equals the switch byte for byte.
bool has_switch(const ArgumentList& arguments, std::string_view name);

// The element right after the first occurrence of the switch; nullopt when the
// switch is absent or only stands last.
std::optional<std::string> switch_value(const ArgumentList& arguments, std::string_view name);

// "Local\QuarvelOnlineInstaller", or with a --cache-dir value V that name +
// "-" + the SHA-256 of V's UTF-8 bytes in lower-case hex.
std::string instance_mutex_name(const ArgumentList& arguments);

}  // namespace quarvel
