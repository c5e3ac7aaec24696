// The system error text: the operating system's description of an error code
// followed by " (os error N)". Any thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/result.h"

namespace quarvel {

// The calling thread's last error code (GetLastError on Windows, errno natively).
uint32_t last_os_error() noexcept;

// Description (FormatMessageW, system messages, inserts ignored, trailing white
// space removed) + " (os error " + code + ")". Never fails: an unknown code has
// an empty description.
std::string system_error_text(uint32_t code);

// system_error_text(last_os_error()).
std::string last_system_error_text();

// The failure of a Windows call: system_error_text(code), carrying the code.
Failure system_failure(uint32_t code);

// Joins the description and the code; the shared format of both platforms.
std::string format_system_error(std::string description, uint32_t code);

}  // namespace quarvel
