// How the download engine judges one segment response before any of its bytes
// reach the partial file. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_client.h"

namespace quarvel {

// 408, 429 and 500 to 599: the service is busy and the attempt is retried.
bool is_retryable_status(uint32_t status);

// The value of a Content-Length text: decimal digits after at most one leading
// "+", fitting in 64 bits. nullopt for anything else (empty, spaces, signs,
// other characters, overflow).
std::optional<uint64_t> parse_content_length(std::string_view text);

// True only for status 206 with Content-Range exactly "bytes {first}-{last}/{total}"
// and a Content-Length of last - first + 1, for a range inside the package.
// False when either header is absent or differs in any byte.
bool accepts_segment(uint32_t status,
                     const std::optional<std::string>& content_range,
                     const std::optional<std::string>& content_length,
                     ByteRange range,
                     uint64_t total);

}  // namespace quarvel
