// Header and query text of a request. Pure; any thread.
#include "http/request_text.h"

#include "core/clock.h"
#include "http/transport_messages.h"

namespace quarvel {

std::string request_header_text(std::optional<ByteRange> range) {
  std::string text = "Accept-Encoding: identity\r\nConnection: close\r\n";
  if (range) {
    text +=
        "Range: bytes=" + std::to_string(range->first) + "-" + std::to_string(range->last) + "\r\n";
  }
  return text;
}

Result<std::string> unix_nanoseconds_text(int64_t file_time) {
  if (file_time < kUnixEpochAsFileTime) {
    return Failure{kInvalidClockMessage};
  }
  // The clock counts in 100 ns units, so the nanoseconds are the units
  // followed by two zeros; written as text, the value never has to fit 64 bits
  // (a late file time times 100 does not).
  const uint64_t units = static_cast<uint64_t>(file_time - kUnixEpochAsFileTime);
  return units == 0 ? std::string("0") : std::to_string(units) + "00";
}

Result<std::string> range_query(uint64_t first,
                                uint64_t last,
                                uint32_t attempt,
                                int64_t file_time) {
  Result<std::string> nanoseconds = unix_nanoseconds_text(file_time);
  if (!nanoseconds) {
    return nanoseconds.failure();
  }
  return "?quarvel_range=" + std::to_string(first) + "-" + std::to_string(last) + "-" +
         std::to_string(attempt) + "-" + *nanoseconds;
}

}  // namespace quarvel
