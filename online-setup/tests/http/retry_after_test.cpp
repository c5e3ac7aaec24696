#include "http/retry_after.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

constexpr int64_t kNow = 133932528000000000;        // Sun, 01 Jun 2025 12:00:00 GMT
constexpr int64_t kEndOf2099 = 157469183900000000;  // Thu, 31 Dec 2099 23:59:50 GMT
constexpr char kSent[] = "Sun, 06 Nov 1994 08:49:37 GMT";

TEST(RetryAfterWait, ReadsSecondsAndTheThreeDateFormsAgainstDateOrTheClock) {
  using Text = std::optional<std::string>;
  const struct {
    Text retry_after;
    Text date;
    std::optional<int64_t> seconds;
    int64_t now = kNow;
  } cases[] = {
      {"4", kSent, 4},
      {" 120\t", {}, 120},
      {"0", {}, 0},
      {"99999999999999999999999", {}, int64_t{1} << 40},
      {"Sun, 06 Nov 1994 08:49:41 GMT", kSent, 4},
      {"Sunday, 06-Nov-94 08:50:37 GMT", kSent, 60},           // 94 is 1994, not 2094
      {"Friday, 01-Jan-00 00:00:10 GMT", {}, 20, kEndOf2099},  // 00 is 2100 there
      {"Sun Nov  6 08:49:47 1994", kSent, 10},
      {"Sun Nov 16 08:49:37 1994", "Sunday, 06-Nov-94 08:49:37 GMT", 864000},
      {"Sun, 01 Jun 2025 12:00:45 GMT", {}, 45},
      {"Sun, 01 Jun 2025 12:00:45 GMT", "a while ago", 45},
      {"Sun, 30 Jun 2025 23:59:60 GMT", {}, 2548800},  // a leap second
      // No hint.
      {{}, kSent, {}},
      {"", {}, {}},
      {"-5", {}, {}},
      {"+5", {}, {}},
      {"4.5", {}, {}},
      {"Sun, 06 Nov 1994 08:49:36 GMT", kSent, {}},
      {"Sun, 01 Jun 2025 11:59:59 GMT", {}, {}},
      {"Sun, 30 Feb 2026 12:00:00 GMT", {}, {}},
      {"Sun, 01 Jun 2025 24:00:00 GMT", {}, {}},
      {"Sun, 1 Jun 2025 12:00:45 GMT", {}, {}},
      {"sun, 01 jun 2025 12:00:45 gmt", {}, {}},
      {"Sun, 01 Jun 2025 12:00:45 UTC", {}, {}},
      {"Sun Jun 01 12:00:45 2025", {}, 45},
      {"Sun Jun 1 12:00:45 2025", {}, {}},
  };
  for (const auto& row : cases) {
    const std::optional<std::chrono::seconds> wait =
        retry_after_wait(row.retry_after, row.date, row.now);
    EXPECT_EQ(wait.has_value(), row.seconds.has_value()) << row.retry_after.value_or("(absent)");
    if (wait && row.seconds)
      EXPECT_EQ(wait->count(), *row.seconds) << *row.retry_after;
  }
}

}  // namespace
}  // namespace quarvel
