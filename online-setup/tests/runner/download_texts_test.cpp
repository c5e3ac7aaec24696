#include "runner/download_texts.h"

#include <gtest/gtest.h>

#include <limits>

#include "runner/cache_files.h"
#include "runner/download_stats.h"
#include "runner/segment_acceptance.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using testing_support::MemoryFileSystem;
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

TEST(DownloadFigures, MegabytesHaveOneDecimalRoundedDown) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0.0"},           {104857, "0.0"},        {104858, "0.1"},
      {1048575, "0.9"},     {5767168, "5.5"},       {12582912, "12.0"},
      {104857600, "100.0"}, {4294967295, "4095.9"}, {kMax, "17592186044415.9"},
  };
  for (const auto& [bytes, text] : cases)
    EXPECT_EQ(megabytes_text(bytes), text) << bytes;
}

TEST(DownloadFigures, SpeedDividesByAtLeastOneMillisecond) {
  const std::tuple<uint64_t, nanoseconds, const char*> cases[] = {
      {262144, milliseconds(100), "2.5"},        {65536, milliseconds(50), "1.2"},
      {65536, milliseconds(1), "62.5"},          {65536, nanoseconds(500000), "62.5"},
      {65536, nanoseconds(0), "62.5"},           {65536, nanoseconds(-5), "62.5"},
      {65536, milliseconds(2), "31.2"},          {0, milliseconds(100), "0.0"},
      {4294967295, nanoseconds(0), "4095999.9"}, {kMax, nanoseconds(0), "17592186044415999.9"},
  };
  for (const auto& [bytes, elapsed, text] : cases) {
    EXPECT_EQ(speed_text(bytes, elapsed), text) << bytes << " in " << elapsed.count() << " ns";
  }
}

TEST(DownloadFigures, PercentIsEightyFiveShareRoundedDown) {
  EXPECT_EQ(download_percent(12582912, 104857600), 10u);
  EXPECT_EQ(download_percent(0, 104857600), 0u);
  EXPECT_EQ(download_percent(8388608, 8388609), 84u);
  EXPECT_EQ(download_percent(4294967295, 4294967295), 85u);
  EXPECT_EQ(download_percent(kMax, kMax), 85u);
  EXPECT_EQ(download_percent(5, 0), 0u);
}

TEST(DownloadTexts, AreWrittenExactly) {
  EXPECT_EQ(connecting_text(12582912, 104857600), "正在连接 · 已下载 12.0 / 100.0 MB");
  EXPECT_EQ(downloading_text(5767168, 104857600, "2.5"), "正在下载 5.5 / 100.0 MB · 2.5 MB/s");
  EXPECT_EQ(reconnecting_text(3, 5, 5767168), "连接中断，正在自动重连（3/5）· 已下载 5.5 MB");
  EXPECT_EQ(gave_up_text(12582912, "分段连接超时"),
            "连接中断，已保留 12.0 MB；点击继续即可续传。分段连接超时");
  EXPECT_EQ(service_unavailable_text(503), "下载服务暂时不可用（HTTP 503）");
  EXPECT_EQ(request_log_line(7, {10000000, 18388607}, 20000000, 4),
            "request=7 range=10000000-18388607/20000000 retry=4");
  EXPECT_EQ(result_log_line(2, 3145728, "complete"), "request=2 saved=3145728 result=complete");
  EXPECT_EQ(result_log_line(1, 0, "网络连接中断（12002）；请重试继续下载"),
            "request=1 saved=0 result=网络连接中断（12002）；请重试继续下载");
}

TEST(SegmentAcceptance, RetriesOnlyBusyStatuses) {
  for (uint32_t status : {408u, 429u, 500u, 503u, 599u})
    EXPECT_TRUE(is_retryable_status(status));
  for (uint32_t status : {200u, 206u, 301u, 404u, 407u, 416u, 430u, 499u, 600u}) {
    EXPECT_FALSE(is_retryable_status(status)) << status;
  }
}

TEST(SegmentAcceptance, ContentLengthIsDigitsAfterAtMostOnePlus) {
  const std::pair<const char*, std::optional<uint64_t>> cases[] = {
      {"8388608", 8388608},
      {"+8388608", 8388608},
      {"0008388608", 8388608},
      {"0", 0},
      {"18446744073709551615", kMax},
      {"18446744073709551616", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"18446744073709751616", std::nullopt},  // 2^64 + 200000 must not wrap to 200000
      {"+-1", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"++1", std::nullopt},
      {"-1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"1,000", std::nullopt},
      {"0x10", std::nullopt},
      {"\xEF\xBC\x91", std::nullopt},  // a full-width digit one
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(parse_content_length(text), value) << text;
}

TEST(SegmentAcceptance, NeedsTheExactRangeAndLength) {
  const ByteRange range{100, 199};
  const std::optional<std::string> good_range = "bytes 100-199/1000";
  EXPECT_TRUE(accepts_segment(206, good_range, "100", range, 1000));
  EXPECT_TRUE(accepts_segment(206, good_range, "+100", range, 1000));
  EXPECT_FALSE(accepts_segment(200, good_range, "100", range, 1000));
  EXPECT_FALSE(accepts_segment(206, good_range, "99", range, 1000));
  EXPECT_FALSE(accepts_segment(206, good_range, std::nullopt, range, 1000));
  EXPECT_FALSE(accepts_segment(206, std::nullopt, "100", range, 1000));
  EXPECT_FALSE(accepts_segment(206, "bytes 0-99/1000", "100", {0, 99}, 99)) << "past the end";
  EXPECT_FALSE(accepts_segment(206, "bytes 9-0/1000", "0", {9, 0}, 1000)) << "reversed";
  for (const char* wrong :
       {"bytes 100-199/*", "bytes 100-199/1001", "bytes 100-199/999", "Bytes 100-199/1000",
        "bytes  100-199/1000", "bytes 100-199/1000 ", "bytes=100-199/1000", "bytes 100-198/1000",
        "bytes 101-199/1000", "bytes 100 - 199/1000", "", "bytes 0100-199/1000"}) {
    EXPECT_FALSE(accepts_segment(206, std::string(wrong), "100", range, 1000)) << wrong;
  }
}

TEST(CacheFiles, NamesLieDirectlyInTheCacheDirectory) {
  const ReleaseManifest manifest{std::string(64, 'c'), "https://h/x",
                                 "Quarvel-1.4-b31-Windows-x64-Setup.exe", 31, 2000000};
  EXPECT_EQ(package_path("C:\\cache", manifest),
            "C:\\cache\\Quarvel-1.4-b31-Windows-x64-Setup.exe");
  EXPECT_EQ(partial_path("C:\\cache\\", manifest),
            "C:\\cache\\31-" + std::string(64, 'c') + ".part");
  EXPECT_EQ(partial_path("D:/q/", manifest), "D:/q/31-" + std::string(64, 'c') + ".part");
}

TEST(CacheFiles, NetworkLogAppendsLinesAndIgnoresFailures) {
  MemoryFileSystem files;
  files.files["C:\\c\\network.log"] = "old\n";
  append_network_log(files, "C:\\c", "request=1 saved=0 result=complete");
  append_network_log(files, "C:\\c\\", "second");
  EXPECT_EQ(files.files.at("C:\\c\\network.log"),
            "old\nrequest=1 saved=0 result=complete\nsecond\n");

  append_network_log(files, "D:\\new", "first line creates it");
  EXPECT_EQ(files.files.at("D:\\new\\network.log"), "first line creates it\n");

  files.unwritable.insert("E:\\locked\\network.log");
  append_network_log(files, "E:\\locked", "dropped");
  EXPECT_EQ(files.files.count("E:\\locked\\network.log"), 0u);

  files.writes_before_failure_at["C:\\c\\network.log"] = 0;
  append_network_log(files, "C:\\c", "dropped too");
  EXPECT_EQ(files.files.at("C:\\c\\network.log"),
            "old\nrequest=1 saved=0 result=complete\nsecond\n");
}

TEST(DownloadStatsRecord, StoresFieldsAndCopiesThemTogether) {
  DownloadStats stats;
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, 0, 0}));
  stats.reset(10);
  stats.set_http_status(206);
  stats.set_transferred_bytes(20);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{10, 20, 206}));
  stats.reset(5);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{5, 0, 0}));
  EXPECT_EQ(download_stats().snapshot(), (DownloadStatsSnapshot{0, 0, 0})) << "process record";
}

}  // namespace
}  // namespace quarvel
