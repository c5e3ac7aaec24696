// The download's rate cap: a token bucket on the monotonic clock that keeps
// the bytes read at or under a rate. It holds what the rate allows in 50 ms
// (at least one byte), and a read asks for at most that much, so over any
// stretch of time the bytes read stay within the rate times that stretch plus
// one bucketful (over 3 s, under 1.7 % above the rate), and no wait before a
// read lasts longer than 50 ms, one pause poll: the transfer never sits still
// long enough for a server or a time-out to notice. A bucketful also absorbs a
// sleep that oversleeps by a timer tick (about 16 ms on Windows).
// Pure; the download engine's thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quarvel {

class TokenBucket {
 public:
  // `bytes_per_second` must be above 0. The bucket starts full at `now`.
  TokenBucket(uint64_t bytes_per_second, std::chrono::nanoseconds now);

  // The most one read may ask for: `wanted`, or a bucketful when that is less.
  size_t read_size(size_t wanted) const;

  // How long to wait from `now` until `bytes` (at most a bucketful) may be
  // read; zero when they may be read at once.
  std::chrono::nanoseconds wait_before(uint64_t bytes, std::chrono::nanoseconds now) const;

  // Counts `bytes` read at `now`.
  void take(uint64_t bytes, std::chrono::nanoseconds now);

 private:
  // How long the rate takes for `bytes`.
  std::chrono::nanoseconds cost(uint64_t bytes) const;

  uint64_t bytes_per_second_;
  uint64_t capacity_;  // bytes in a full bucket
  // The moment the bytes read so far are paid for at the rate; the bucket is
  // full at that moment plus the time a bucketful takes.
  std::chrono::nanoseconds paid_until_;
};

}  // namespace quarvel
