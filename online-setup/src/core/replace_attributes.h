// Which attributes a file is created with when a truncating open replaces it.
// Windows refuses CreateFileW with CREATE_ALWAYS and FILE_ATTRIBUTE_NORMAL on an
// existing hidden or system file (access denied), so a caller that hid an
// earlier report would keep reading it. Pure function, any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace quarvel {

// The Windows attribute bits this decision reads and returns (winnt.h values).
inline constexpr uint32_t kAttributeHidden = 0x2;
inline constexpr uint32_t kAttributeSystem = 0x4;
inline constexpr uint32_t kAttributeNormal = 0x80;

// The flags for CREATE_ALWAYS given the existing file's attributes (nullopt:
// no file, or they cannot be read): its hidden and system bits when it has
// either, as CreateFileW asks; otherwise FILE_ATTRIBUTE_NORMAL. Cannot fail.
uint32_t attributes_for_replacing(std::optional<uint32_t> existing);

}  // namespace quarvel
