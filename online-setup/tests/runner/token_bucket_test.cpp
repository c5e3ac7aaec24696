// The rate cap's token bucket against a fake clock, read as the download
// engine reads (ask for at most a bucketful, wait, take what came).
#include "runner/token_bucket.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

struct Rate {
  const char* name;
  uint64_t bytes_per_second;
  double delivered;  // the share of what a read asks for that it gets
  friend void PrintTo(const Rate& row, std::ostream* out) { *out << row.name; }
};

struct TokenBucketRate : testing::TestWithParam<Rate> {};

// 20 s of reads of up to 64 KiB: any 1 s holds at most the rate and one
// bucketful (a byte more for rounding), the whole reaches the rate to within
// one read, and no wait is longer than 50 ms.
TEST_P(TokenBucketRate, KeepsEverySecondWithinTheRateAndEveryWaitShort) {
  const uint64_t rate = GetParam().bytes_per_second;
  const uint64_t bucketful = std::max<uint64_t>(rate / 20, 1);
  nanoseconds now = seconds(5);
  TokenBucket bucket(rate, now);
  std::vector<std::pair<nanoseconds, uint64_t>> reads;
  while (now < seconds(25)) {
    const size_t asked = bucket.read_size(65536);
    ASSERT_LE(asked, bucketful);
    const nanoseconds wait = bucket.wait_before(asked, now);
    ASSERT_LE(wait, milliseconds(50));
    now += wait;
    const auto got = std::max<uint64_t>(1, static_cast<uint64_t>(asked * GetParam().delivered));
    bucket.take(got, now);
    reads.emplace_back(now, got);
  }
  uint64_t total = 0;
  uint64_t last_second = 0;  // the bytes read in the second up to each read
  for (size_t first = 0, last = 0; last < reads.size(); ++last) {
    last_second += reads[last].second;
    while (reads[last].first - reads[first].first >= seconds(1))
      last_second -= reads[first++].second;
    ASSERT_LE(last_second, rate + bucketful + 1) << "at read " << last;
    total += reads[last].second;
  }
  EXPECT_GE(total + 65536, rate * 20);
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
