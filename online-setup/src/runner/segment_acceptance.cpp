#include "runner/segment_acceptance.h"

#include <limits>

namespace quarvel {

bool is_retryable_status(uint32_t status) {
  return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

std::optional<uint64_t> parse_content_length(std::string_view text) {
  if (!text.empty() && text.front() == '+')
    text.remove_prefix(1);
  if (text.empty())
    return std::nullopt;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (kMax - digit) / 10)
      return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

bool accepts_segment(uint32_t status,
                     const std::optional<std::string>& content_range,
                     const std::optional<std::string>& content_length,
                     ByteRange range,
                     uint64_t total) {
  if (status != 206 || range.first > range.last || range.last >= total)
    return false;
  const std::string expected_range = "bytes " + std::to_string(range.first) + "-" +
                                     std::to_string(range.last) + "/" + std::to_string(total);
  if (!content_range || *content_range != expected_range)
    return false;
  if (!content_length)
    return false;
  const std::optional<uint64_t> length = parse_content_length(*content_length);
  return length && *length == range.last - range.first + 1;
}

}  // namespace quarvel
