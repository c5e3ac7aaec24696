// Text the transport adds to a request: the extra header lines and the range
// query that makes every segment request a distinct address. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/result.h"
#include "http/http_client.h"

namespace quarvel {

inline constexpr char kUserAgent[] = "QuarvelOnlineSetup/1.02";

// "Accept-Encoding: identity\r\nConnection: close\r\n", followed by
// "Range: bytes=F-L\r\n" when a range is given. Never fails.
std::string request_header_text(std::optional<ByteRange> range);

// Nanoseconds since 1970-01-01 UTC, in decimal, for a Windows file time.
// Returns "本机时间无效" for a time before 1970.
Result<std::string> unix_nanoseconds_text(int64_t file_time);

// "?quarvel_range=" + first + "-" + last + "-" + attempt + "-" + nanoseconds
// since 1970 at file_time. Returns "本机时间无效" for a time before 1970.
Result<std::string> range_query(uint64_t first, uint64_t last, uint32_t attempt, int64_t file_time);

}  // namespace quarvel
