// The rate cap's token bucket against a fake clock: reads as the download
// engine makes them (ask for at most a bucketful, wait, count what came).
#include "runner/token_bucket.h"

#include <gtest/gtest.h>

#include <deque>

namespace quarvel {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

struct Read {
  nanoseconds at;
  uint64_t bytes;
};

// Reads of up to 64 KiB as the bucket lets them through for `duration`; each
// read gets `delivered` of what it asked for (the rest of a short read stays
// for the next).
std::vector<Read> read_for(TokenBucket& bucket,
                           nanoseconds& now,
                           nanoseconds duration,
                           nanoseconds& longest_wait,
                           double delivered = 1.0) {
  std::vector<Read> reads;
  const nanoseconds end = now + duration;
  while (now < end) {
    const size_t asked = bucket.read_size(65536);
    const nanoseconds wait = bucket.wait_before(asked, now);
    longest_wait = std::max(longest_wait, wait);
    now += wait;
    const auto got = std::max<uint64_t>(1, static_cast<uint64_t>(asked * delivered));
    bucket.take(got, now);
    reads.push_back({now, got});
  }
  return reads;
}

// The most bytes read within any stretch of `window` that starts at a read.
uint64_t most_within(const std::vector<Read>& reads, nanoseconds window) {
  uint64_t most = 0;
  uint64_t sum = 0;
  std::deque<Read> inside;
  for (auto it = reads.rbegin(); it != reads.rend(); ++it) {
    inside.push_front(*it);
    sum += it->bytes;
    while (inside.back().at - inside.front().at >= window) {
      sum -= inside.back().bytes;
      inside.pop_back();
    }
    most = std::max(most, sum);
  }
  return most;
}

struct Rate {
  const char* name;
  uint64_t bytes_per_second;
  double delivered;
  friend void PrintTo(const Rate& row, std::ostream* out) { *out << row.name; }
};

struct TokenBucketRate : testing::TestWithParam<Rate> {};

TEST_P(TokenBucketRate, KeepsEveryStretchWithinTheRateAndEveryWaitShort) {
  const uint64_t rate = GetParam().bytes_per_second;
  const uint64_t bucketful = std::max<uint64_t>(rate / 20, 1);
  nanoseconds now = seconds(5);
  TokenBucket bucket(rate, now);
  nanoseconds longest_wait{};
  const std::vector<Read> reads =
      read_for(bucket, now, seconds(20), longest_wait, GetParam().delivered);
  uint64_t total = 0;
  for (const Read& read : reads)
    total += read.bytes;
  // Over the whole time, the rate to within one read; over any 1 s or 3 s,
  // at most the rate and one bucketful (a byte more for the rounding of
  // elapsed time).
  const double elapsed = std::chrono::duration<double>(reads.back().at - seconds(5)).count();
  EXPECT_LE(total, rate * elapsed + bucketful + 1);
  EXPECT_GE(total + 65536, rate * elapsed);
  EXPECT_LE(most_within(reads, seconds(1)), rate + bucketful);
  EXPECT_LE(most_within(reads, seconds(3)), 3 * rate + bucketful);
  EXPECT_LE(longest_wait, milliseconds(50));
  EXPECT_LE(bucket.read_size(65536), bucketful);
}

INSTANTIATE_TEST_SUITE_P(Caps,
                         TokenBucketRate,
                         testing::Values(Rate{"OneKilobyte", 1024, 1.0},
                                         Rate{"TwoMebibytes", 2 * 1048576, 1.0},
                                         Rate{"TwoMebibytesShortReads", 2 * 1048576, 0.3},
                                         Rate{"AboveTheReadSize", 100 * 1048576, 1.0}),
                         [](const testing::TestParamInfo<Rate>& info) {
                           return std::string(info.param.name);
                         });

TEST(TokenBucket, StartsFullAndFillsNoFurtherThanABucketfulWhileIdle) {
  TokenBucket bucket(20480, seconds(0));  // 1,024 bytes a bucketful
  EXPECT_EQ(bucket.read_size(65536), 1024u);
  EXPECT_EQ(bucket.read_size(100), 100u);
  EXPECT_EQ(bucket.wait_before(1024, seconds(0)), nanoseconds::zero());
  bucket.take(1024, seconds(0));
  EXPECT_EQ(bucket.wait_before(1024, seconds(0)), milliseconds(50));
  EXPECT_EQ(bucket.wait_before(512, milliseconds(10)), milliseconds(15));
  // An idle minute refills one bucketful, not a minute's worth.
  bucket.take(1024, seconds(60));
  EXPECT_EQ(bucket.wait_before(1024, seconds(60)), milliseconds(50));
}

}  // namespace
}  // namespace quarvel
