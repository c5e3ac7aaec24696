// The HTTPS seam: what the manifest fetch and the download engine talk to.
// The real client checks addresses and builds request text portably and
// leaves the handles to WinHTTP; tests pass fakes. One thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/result.h"

namespace quarvel {

// Inclusive byte positions, as in HTTP byte ranges.
struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;
};

// An open response; releasing it closes its handles.
class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  // The status code, read once when the response arrived.
  virtual uint32_t status() const = 0;
  // The value of one response header; nullopt when absent or too long.
  virtual std::optional<std::string> header(std::string_view name) = 0;
  // Bytes placed in the buffer, 0 at the end of the body; the pause message
  // when pause_requested is set before the read, the network error message
  // when the read fails.
  virtual Result<size_t> read(std::span<uint8_t> buffer,
                              const std::atomic<bool>& pause_requested) = 0;
  // As read, but waiting only while no byte has arrived (at most the
  // transport's receive time-out), never for more bytes to fill the buffer,
  // so that a caller can hold a slow answer to a deadline of its own.
  virtual Result<size_t> read_arrived(std::span<uint8_t> buffer,
                                      const std::atomic<bool>& pause_requested) {
    return read(buffer, pause_requested);
  }
};

using ResponsePtr = std::unique_ptr<HttpResponse>;

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // One GET; the response for every status code, or one message.
  virtual Result<ResponsePtr> http_get(std::string_view address,
                                       std::optional<ByteRange> range) = 0;
  // A ranged GET whose address carries the unique "?quarvel_range=" query.
  virtual Result<ResponsePtr> http_get_range(std::string_view address,
                                             uint64_t first,
                                             uint64_t last,
                                             uint32_t attempt) = 0;
};

}  // namespace quarvel
