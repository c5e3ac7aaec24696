// How long a busy package host asks the client to wait: the Retry-After
// header of a 408, 429 or 5xx answer, read against the answer's Date header.
// Pure; any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace quarvel {

// The wait Retry-After asks for: delta-seconds as they stand (very large
// values saturate far above any wait a client would accept), or an HTTP-date
// (IMF-fixdate, or the obsolete RFC 850 and asctime forms) less the answer's
// Date, or less `now` (a Windows file time) when Date is absent or not an
// HTTP-date. nullopt when Retry-After is absent, malformed, negative, or a
// date before that reference: no hint.
std::optional<std::chrono::seconds> retry_after_wait(const std::optional<std::string>& retry_after,
                                                     const std::optional<std::string>& date,
                                                     int64_t now_file_time);

}  // namespace quarvel
