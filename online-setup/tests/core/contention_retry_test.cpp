// The contention retry policy against the fake clock: which failures are tried
// again, how often and after which waits, and how a pause request ends a wait.
#include "core/contention_retry.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_clock.h"

namespace quarvel {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using testing_support::FakeClock;

constexpr char kPauseText[] = "下载已暂停，可继续下载";

struct ContentionRetryTest : testing::Test {
  FakeClock clock;
  std::atomic<bool> pause{false};
  int attempts = 0;

  // An operation that fails with the code (message "attempt N") until the
  // attempt numbered `succeeds_at`; never when that is 0.
  Result<int> run(uint32_t code, int succeeds_at, std::string_view pause_text = kPauseText) {
    const ContentionRetry retry{clock, pause, pause_text};
    return retry_on_contention(retry, [&]() -> Result<int> {
      ++attempts;
      if (attempts == succeeds_at)
        return attempts;
      return Failure{"attempt " + std::to_string(attempts), code};
    });
  }
  milliseconds waited() const { return std::chrono::duration_cast<milliseconds>(clock.time); }
};

// Only a sharing violation, a lock violation or access denied is tried again.
TEST_F(ContentionRetryTest, ContentionIsTriedAgainUntilItPassesOtherFailuresStand) {
  for (const uint32_t code : {5u, 32u, 33u, 0u, 2u, 3u, 112u, 1224u}) {
    const bool contention = code == 5 || code == 32 || code == 33;
    attempts = 0;
    clock.time = {};
    const Result<int> result = run(code, 4);
    EXPECT_EQ(result.ok(), contention) << code;
    EXPECT_EQ(attempts, contention ? 4 : 1) << code;
    EXPECT_EQ(waited(), milliseconds(contention ? 100 + 200 + 400 : 0)) << code;
  }
}

TEST_F(ContentionRetryTest, GivesUpAfterSixAttemptsOverThreePointOneSeconds) {
  const Result<int> result = run(32, 0);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(attempts, 6);
  EXPECT_EQ(result.message(), "attempt 6");
  EXPECT_EQ(result.failure().system_error, 32u);
  EXPECT_EQ(waited(), milliseconds(3100));
  for (const nanoseconds sleep : clock.sleeps)
    EXPECT_LE(sleep, milliseconds(50));
}

TEST_F(ContentionRetryTest, APauseEndsTheWaitWithThePauseTextOrElseTheLastFailure) {
  clock.after_sleep = [this](nanoseconds now) {
    if (now >= milliseconds(300))
      pause = true;  // during the second wait
  };
  const Result<int> paused = run(33, 0);
  EXPECT_EQ(paused.message(), kPauseText);
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(waited(), milliseconds(300));

  attempts = 0;
  const Result<int> without_text = run(33, 0, {});
  EXPECT_EQ(without_text.message(), "attempt 1");
  EXPECT_EQ(attempts, 1);
}

}  // namespace
}  // namespace quarvel
