// The download engine's segment loop: retries and the attempt limit, the
// acceptance test, the deadline, pause at each polling point, and progress.
#include <gtest/gtest.h>

#include "download_fixture.h"

namespace quarvel::testing_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using Updates = std::vector<StatusUpdate>;

constexpr char kPaused[] = "下载已暂停，可继续下载";

ScriptedReply busy(uint32_t status = 503) {
  ScriptedReply reply;
  reply.status = status;
  return reply;
}

// Advances the fake clock by `step` at the start of every read.
std::function<void(size_t)> reads_take(FakeClock& clock, nanoseconds step) {
  return [&clock, step](size_t) { clock.time += step; };
}

std::function<void(size_t)> pause_at_read(std::atomic<bool>& pause, size_t index) {
  return [&pause, index](size_t read) {
    if (read == index)
      pause = true;
  };
}

TEST_F(DownloadTest, FiveBusyAnswersInARowGiveUp) {
  use_package(200000);
  for (int i = 0; i < 5; ++i)
    http.replies.push_back(busy());
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(),
            "连接中断，已保留 0.0 MB；点击继续即可续传。下载服务暂时不可用（HTTP 503）");
  EXPECT_EQ(texts_starting("连接中断"), (Lines{"连接中断，正在自动重连（1/5）· 已下载 0.0 MB",
                                               "连接中断，正在自动重连（2/5）· 已下载 0.0 MB",
                                               "连接中断，正在自动重连（3/5）· 已下载 0.0 MB",
                                               "连接中断，正在自动重连（4/5）· 已下载 0.0 MB"}));
  Lines expected_log;
  for (uint32_t n = 1; n <= 5; ++n) {
    EXPECT_EQ(http.requests[n - 1], range(0, 199999, n - 1));
    expected_log.push_back("request=" + std::to_string(n) +
                           " range=0-199999/200000 retry=" + std::to_string(n - 1));
    expected_log.push_back("request=" + std::to_string(n) +
                           " saved=0 result=下载服务暂时不可用（HTTP 503）");
  }
  EXPECT_EQ(http.requests.size(), 5u);
  EXPECT_EQ(log_lines(), expected_log);
  EXPECT_EQ(clock.sleeps, std::vector<nanoseconds>(4 * 20, milliseconds(50)));
  EXPECT_EQ(files.flush_count, 5);
  EXPECT_EQ(files.files.at(partial_file()), "");
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, 0, 0}));
}

// One failed attempt, then an honest answer from the offset it reached.
struct FailedAttempt {
  const char* name;
  ScriptedReply reply;
  std::string reason;
  uint64_t saved;
  friend void PrintTo(const FailedAttempt& row, std::ostream* out) { *out << row.name; }
};

struct DownloadFailedAttempt : DownloadTest, testing::WithParamInterface<FailedAttempt> {};

TEST_P(DownloadFailedAttempt, IsRetriedFromTheNewOffsetAfterOneSecond) {
  use_package(200000);
  const FailedAttempt& failure = GetParam();
  http.replies.push_back(failure.reply);
  nanoseconds retried_at{-1};
  http.replies.push_back(ScriptedReply{.on_open = [&] { retried_at = clock.time; }});
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  const std::string saved = std::to_string(failure.saved);
  EXPECT_EQ(log_lines(), (Lines{"request=1 range=0-199999/200000 retry=0",
                                "request=1 saved=" + saved + " result=" + failure.reason,
                                "request=2 range=" + saved + "-199999/200000 retry=1",
                                "request=2 saved=200000 result=complete"}));
  EXPECT_EQ(http.requests[1], range(failure.saved, 199999, 1));
  EXPECT_TRUE(status.updates[1].text.starts_with("连接中断，正在自动重连（1/5）"));
  EXPECT_EQ(retried_at, milliseconds(1000));
  EXPECT_EQ(clock.sleeps, std::vector<nanoseconds>(20, milliseconds(50)));
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, 200000, 206}));
}

INSTANTIATE_TEST_SUITE_P(
    Reasons,
    DownloadFailedAttempt,
    testing::Values(
        FailedAttempt{"RequestTimeout", busy(408), "下载服务暂时不可用（HTTP 408）", 0},
        FailedAttempt{"TooManyRequests", busy(429), "下载服务暂时不可用（HTTP 429）", 0},
        FailedAttempt{"ServerError", busy(500), "下载服务暂时不可用（HTTP 500）", 0},
        FailedAttempt{"LastServerError", busy(599), "下载服务暂时不可用（HTTP 599）", 0},
        FailedAttempt{"OpenFailure", ScriptedReply{.open_failure = "无法连接下载服务"},
                      "无法连接下载服务", 0},
        FailedAttempt{"BodyEndsEarly", ScriptedReply{.body_limit = 131072}, "分段下载中断", 131072},
        FailedAttempt{"ReadFailure",
                      ScriptedReply{.body_limit = 65536,
                                    .stop_failure = "网络连接中断（12002）；请重试继续下载"},
                      "网络连接中断（12002）；请重试继续下载", 65536}),
    [](const testing::TestParamInfo<FailedAttempt>& info) { return std::string(info.param.name); });

// The wait before the retry of a busy answer: its Retry-After hint within 1 to
// 30 s, else a draw from 1 to 2 s; the pause request is looked at every 50 ms.
struct BusyWait {
  const char* name;
  std::map<std::string, std::optional<std::string>, std::less<>> headers;
  uint64_t random;
  milliseconds wait;
  friend void PrintTo(const BusyWait& row, std::ostream* out) { *out << row.name; }
};

struct DownloadBusyWait : DownloadTest, testing::WithParamInterface<BusyWait> {};

TEST_P(DownloadBusyWait, IsTheHintWithinBoundsOrASpreadDraw) {
  use_package(200000);
  random.number = GetParam().random;
  http.replies.push_back(ScriptedReply{.status = 503, .headers = GetParam().headers});
  nanoseconds retried_at{-1};
  http.replies.push_back(ScriptedReply{.on_open = [&] { retried_at = clock.time; }});
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(retried_at, GetParam().wait);
  for (const nanoseconds sleep : clock.sleeps)
    EXPECT_LE(sleep, milliseconds(50));
  EXPECT_EQ(texts_starting("连接中断"), (Lines{"连接中断，正在自动重连（1/5）· 已下载 0.0 MB"}));
}

INSTANTIATE_TEST_SUITE_P(
    Hints,
    DownloadBusyWait,
    testing::Values(BusyWait{"Seconds", {{"Retry-After", "4"}}, 700, milliseconds(4000)},
                    BusyWait{"AboveTheCap", {{"Retry-After", "120"}}, 700, milliseconds(30000)},
                    BusyWait{"BelowTheRetryDelay", {{"Retry-After", "0"}}, 700, milliseconds(1000)},
                    BusyWait{"LargestDelta",
                             {{"Retry-After", "99999999999999999999"}},
                             700,
                             milliseconds(30000)},
                    BusyWait{"DateFarAheadOfDate",
                             {{"Retry-After", "Fri, 31 Dec 9999 23:59:59 GMT"},
                              {"Date", "Sun, 01 Jun 2025 12:00:00 GMT"}},
                             700,
                             milliseconds(30000)},
                    BusyWait{"DateAgainstTheClock",
                             {{"Retry-After", "Sun, 01 Jun 2025 12:00:07 GMT"}},
                             700,
                             milliseconds(7000)},
                    BusyWait{"NoHintOddMilliseconds", {}, 1001 + 233, milliseconds(1233)}),
    [](const testing::TestParamInfo<BusyWait>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, BreakAfterThreeMebibytesResumesWithAFullSegmentFromThere) {
  use_package(12 * kMiB);
  http.replies.push_back(ScriptedReply{.body_limit = 3 * kMiB});
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(http.requests, (std::vector{range(0, 8388607, 0), range(3145728, 11534335, 1),
                                        range(11534336, 12582911, 0)}));
  EXPECT_EQ(log_lines()[1], "request=1 saved=3145728 result=分段下载中断");
  EXPECT_EQ(files.files.at(package_file()), content);
}

TEST_F(DownloadTest, CompletedSegmentResetsTheAttemptCount) {
  use_package(kSegment + 1);
  for (int segment = 0; segment < 2; ++segment) {
    for (int i = 0; i < 4; ++i)
      http.replies.push_back(busy(502));
    http.replies.push_back(ScriptedReply{});
  }
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  std::vector<uint32_t> attempts;
  for (const RangeRequest& request : http.requests)
    attempts.push_back(request.attempt);
  EXPECT_EQ(attempts, (std::vector<uint32_t>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4}));
  EXPECT_EQ(http.requests[5].first, kSegment);
  EXPECT_EQ(texts_starting("连接中断").size(), 8u);
}

// Any answer that fails the acceptance test ends the call before a byte is
// written (every header form is covered by the acceptance tests).
struct Mismatch {
  const char* name;
  uint32_t status;
  std::map<std::string, std::optional<std::string>, std::less<>> headers;
  friend void PrintTo(const Mismatch& row, std::ostream* out) { *out << row.name; }
};

struct DownloadMismatch : DownloadTest, testing::WithParamInterface<Mismatch> {};

TEST_P(DownloadMismatch, EndsTheCallWithNothingWritten) {
  use_package(200000);
  http.replies.push_back(ScriptedReply{.status = GetParam().status, .headers = GetParam().headers});
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "下载分段信息不匹配，未继续写入；请重试");
  EXPECT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(http.reads, 0u);
  EXPECT_EQ(files.files.at(partial_file()), "");
  EXPECT_EQ(log_lines(), (Lines{"request=1 range=0-199999/200000 retry=0"}));
  EXPECT_EQ(files.flush_count, 0);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    DownloadMismatch,
    testing::Values(
        Mismatch{"WholeFile", 200, {{"Content-Range", std::nullopt}, {"Content-Length", "200000"}}},
        Mismatch{"NotFound", 404, {}},
        Mismatch{"RangeNotSatisfiable", 416, {}},
        Mismatch{"UnknownTotal", 206, {{"Content-Range", "bytes 0-199999/*"}}},
        Mismatch{"NoRange", 206, {{"Content-Range", std::nullopt}}},
        Mismatch{"NoLength", 206, {{"Content-Length", std::nullopt}}},
        // 2^64 + 200000: wraps to the right value in 64 bits.
        Mismatch{"OverflowingLength", 206, {{"Content-Length", "18446744073709751616"}}}),
    [](const testing::TestParamInfo<Mismatch>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, ContentLengthWithOnePlusIsAccepted) {
  use_package(kSegment + 1);
  http.replies.push_back(ScriptedReply{.headers = {{"Content-Length", "+8388608"}}});
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(files.files.at(package_file()), content);
}

// The call ended inside the first segment after one read: those bytes stay in
// the partial file unflushed, and only the request line was logged.
void expect_ended_after_first_read(const DownloadTest& t,
                                   const Result<std::string>& result,
                                   std::string_view message) {
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), message);
  EXPECT_EQ(t.files.files.at(t.partial_file()), t.content.substr(0, 65536));
  EXPECT_EQ(t.log_lines().size(), 1u);
  EXPECT_EQ(t.files.flush_count, 0);
  EXPECT_EQ(t.stats.snapshot(), (DownloadStatsSnapshot{0, 0, 206}));
}

TEST_F(DownloadTest, MoreBytesThanAskedEndTheCallUnwritten) {
  use_package(200000);
  http.replies.push_back(ScriptedReply{.overlong_read = 1});
  expect_ended_after_first_read(*this, download(), "下载数据超过预期长度");
  EXPECT_EQ(http.reads, 2u);
}

TEST_F(DownloadTest, SegmentBodyLongerThanSixtySecondsFailsTheAttempt) {
  use_package(200000);
  http.replies.push_back(ScriptedReply{.before_read = [&](size_t read) {
    clock.time += read == 0 ? nanoseconds(std::chrono::seconds(60)) : nanoseconds(1);
  }});
  // Time spent before the answer is accepted does not count.
  http.replies.push_back(
      ScriptedReply{.on_open = [&] { clock.time += std::chrono::seconds(100); }});
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(log_lines()[1], "request=1 saved=131072 result=分段连接超时");
  EXPECT_EQ(http.requests[1], range(131072, 199999, 1));
  EXPECT_EQ(http.requests.size(), 2u);
}

TEST_F(DownloadTest, PauseBeforeTheFirstRequestLeavesAnEmptyPartialFile) {
  use_package(200000);
  pause = true;
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), kPaused);
  EXPECT_TRUE(http.requests.empty());
  EXPECT_EQ(files.files.at(partial_file()), "");
  EXPECT_FALSE(has(log_file()));
  EXPECT_TRUE(status.updates.empty());
}

TEST_F(DownloadTest, PauseBeforeTheNextSegmentKeepsTheFirst) {
  use_package(kSegment + 1);
  http.replies.push_back(ScriptedReply{.after_read = pause_at_read(pause, 127)});
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), kPaused);
  EXPECT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(log_lines().back(), "request=1 saved=8388608 result=complete");
  EXPECT_EQ(files.files.at(partial_file()), content.substr(0, kSegment));
}

TEST_F(DownloadTest, PauseBeforeAReadEndsWithoutFlushOrResultLine) {
  use_package(200000);
  http.replies.push_back(ScriptedReply{.after_read = pause_at_read(pause, 0)});
  expect_ended_after_first_read(*this, download(), kPaused);
  EXPECT_EQ(http.reads, 1u);
}

TEST_F(DownloadTest, PauseSeenByTheReadFailsTheAttemptThenEndsTheCall) {
  use_package(200000);
  http.replies.push_back(ScriptedReply{.before_read = pause_at_read(pause, 1)});
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), kPaused);
  EXPECT_EQ(log_lines().back(), "request=1 saved=65536 result=下载已暂停，可重试继续下载");
  EXPECT_EQ(files.flush_count, 1);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, 65536, 206}));
  EXPECT_TRUE(texts_starting("连接中断").empty());
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(DownloadTest, PauseAfterAFailedAttemptEndsBeforeTheRetry) {
  use_package(200000);
  ScriptedReply reply = busy();
  reply.on_open = [&] { pause = true; };
  http.replies.push_back(reply);
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), kPaused);
  EXPECT_EQ(log_lines().back(), "request=1 saved=0 result=下载服务暂时不可用（HTTP 503）");
  EXPECT_TRUE(texts_starting("连接中断").empty());
  EXPECT_TRUE(clock.sleeps.empty());
}

// Runs the download with a pause requested as the `n`th sleep begins; returns
// the result and how long after the request the download ended.
std::pair<Result<std::string>, nanoseconds> download_pausing_at_sleep(DownloadTest& t, size_t n) {
  nanoseconds paused_at{};
  t.clock.on_sleep = [&] {
    if (t.clock.sleeps.size() == n) {
      t.pause = true;
      paused_at = t.clock.time;
    }
  };
  Result<std::string> result = t.download();
  t.clock.on_sleep = nullptr;
  return {std::move(result), t.clock.time - paused_at};
}

TEST_F(DownloadTest, PauseDuringTheRetryDelayEndsWithinOnePollStep) {
  use_package(200000);
  http.replies.push_back(busy());
  const auto [result, ended_after] = download_pausing_at_sleep(*this, 4);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), kPaused);
  EXPECT_EQ(ended_after, milliseconds(50));
  EXPECT_EQ(clock.sleeps.size(), 4u);
  EXPECT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(texts_starting("连接中断").size(), 1u);
}

TEST_F(DownloadTest, ProgressTextsComeEveryTenthOfASecondAndAtSegmentEnd) {
  use_package(kMiB);
  http.replies.push_back(ScriptedReply{.before_read = reads_take(clock, milliseconds(25))});
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(status.updates, (Updates{{"正在连接 · 已下载 0.0 / 1.0 MB", 0},
                                     {"正在下载 0.2 / 1.0 MB · 2.5 MB/s", 21},
                                     {"正在下载 0.5 / 1.0 MB · 2.5 MB/s", 42},
                                     {"正在下载 0.7 / 1.0 MB · 2.5 MB/s", 63},
                                     {"正在下载 1.0 / 1.0 MB · 2.5 MB/s", 85},
                                     {"正在校验安装包…", 90}}));
}

TEST_F(DownloadTest, SpeedWindowRestartsAfterTheRetryDelayAndHasAOneMillisecondFloor) {
  use_package(131072);
  http.replies.push_back(busy());
  http.replies.push_back(ScriptedReply{.before_read = [&](size_t read) {
    clock.time += read == 0 ? nanoseconds(milliseconds(100)) : nanoseconds(500000);
  }});
  ASSERT_TRUE(download().ok());
  // 64 KiB in the 100 ms since the wait ended, then 64 KiB in 0.5 ms, divided by 1 ms.
  EXPECT_EQ(texts_starting("正在下载"),
            (Lines{"正在下载 0.0 / 0.1 MB · 0.6 MB/s", "正在下载 0.1 / 0.1 MB · 62.5 MB/s"}));
}

TEST_F(DownloadTest, FiguresOfALargePackageAreWholeMebibyteTenths) {
  use_unverified_package(104857600);
  files.files[partial_file()] = std::string(12582912, 'x');
  for (int i = 0; i < 5; ++i)
    http.replies.push_back(ScriptedReply{.open_failure = "无法连接下载服务"});
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "连接中断，已保留 12.0 MB；点击继续即可续传。无法连接下载服务");
  EXPECT_EQ(status.updates[0], (StatusUpdate{"正在连接 · 已下载 12.0 / 100.0 MB", 10}));
  EXPECT_EQ(status.updates[1], (StatusUpdate{"连接中断，正在自动重连（1/5）· 已下载 12.0 MB", 10}));
  EXPECT_EQ(log_lines().front(), "request=1 range=12582912-20971519/104857600 retry=0");
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{12582912, 0, 0}));
}

// Under a rate cap of 64 KiB/s an 8 MiB segment takes about 128 s of waits
// (the fake clock moves only by sleeping): no wait is longer than a poll step,
// no read asks for more than a twentieth of a second's bytes, and the segment
// deadline, which measures the server, does not count the waits.
TEST_F(DownloadTest, RateCapSpreadsTheReadsAndItsWaitsDoNotCountAgainstTheDeadline) {
  use_package(kSegment + 1);
  rate_cap = 65536;
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(log_lines()[1], "request=1 saved=8388608 result=complete");
  EXPECT_EQ(log_lines()[3], "request=2 saved=8388609 result=complete");
  // A full bucket (3,276 bytes) to start with, then 64 KiB a second.
  const nanoseconds expected = nanoseconds(std::chrono::seconds(kSegment + 1 - 3276)) / 65536;
  EXPECT_GE(clock.time, expected - milliseconds(1));
  EXPECT_LE(clock.time, expected + milliseconds(50));
  for (const nanoseconds sleep : clock.sleeps)
    ASSERT_LE(sleep, milliseconds(50));
  EXPECT_EQ(http.reads, (kSegment + 3275) / 3276 + 1);
  EXPECT_EQ(files.files.at(package_file()), content);
}

TEST_F(DownloadTest, UnderARateCapAServerSlowerThanTheDeadlineStillFailsTheAttempt) {
  use_package(200000);
  rate_cap = 10 * kMiB;
  http.replies.push_back(ScriptedReply{.before_read = reads_take(clock, std::chrono::seconds(61))});
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(log_lines()[1], "request=1 saved=65536 result=分段连接超时");
}

TEST_F(DownloadTest, PauseDuringARateCapWaitEndsItWithinOnePollStep) {
  use_package(200000);
  rate_cap = 65536;
  const auto [result, ended_after] = download_pausing_at_sleep(*this, 3);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), kPaused);
  EXPECT_GT(ended_after, nanoseconds::zero());
  EXPECT_LE(ended_after, milliseconds(50));
  EXPECT_EQ(files.files.at(partial_file()), content.substr(0, 3276 * http.reads));
  EXPECT_EQ(log_lines(), (Lines{"request=1 range=0-199999/200000 retry=0"}));
}

}  // namespace
}  // namespace quarvel::testing_support
