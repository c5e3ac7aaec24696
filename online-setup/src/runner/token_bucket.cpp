// The rate cap's arithmetic. Pure; the download engine's thread.
#include "runner/token_bucket.h"

#include <algorithm>

namespace quarvel {
namespace {

using std::chrono::nanoseconds;

constexpr uint64_t kNanosecondsPerSecond = 1000000000;
// A full bucket holds what the rate allows in this twentieth of a second.
constexpr uint64_t kBucketsPerSecond = 20;

}  // namespace

TokenBucket::TokenBucket(uint64_t bytes_per_second, nanoseconds now)
    : bytes_per_second_(bytes_per_second),
      capacity_(std::max<uint64_t>(bytes_per_second / kBucketsPerSecond, 1)),
      paid_until_(now - cost(capacity_)) {}

size_t TokenBucket::read_size(size_t wanted) const {
  return static_cast<size_t>(std::min<uint64_t>(wanted, capacity_));
}

nanoseconds TokenBucket::wait_before(uint64_t bytes, nanoseconds now) const {
  // The bucket holds `bytes` once they too are paid for.
  return std::max(paid_until_ + cost(bytes) - now, nanoseconds::zero());
}

void TokenBucket::take(uint64_t bytes, nanoseconds now) {
  // A bucket left to fill up holds no more than a bucketful.
  paid_until_ = std::max(paid_until_, now - cost(capacity_)) + cost(bytes);
}

nanoseconds TokenBucket::cost(uint64_t bytes) const {
  // 128 bits: bytes times 10^9 outgrows 64 bits above 18 GB.
  const unsigned __int128 product = static_cast<unsigned __int128>(bytes) * kNanosecondsPerSecond;
  return nanoseconds(static_cast<int64_t>(product / bytes_per_second_));
}

}  // namespace quarvel
