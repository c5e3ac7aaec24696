// The download engine with a chunk map: the map fetched first and kept, a
// bad chunk costing itself and its host's attempt, a map answer that fails
// fetched again (one that never matches ends the run: the end-to-end chunk
// map test), and what the check of a resumed partial file keeps.
#include <gtest/gtest.h>

#include "download_fixture.h"
#include "runner/partial_file_check.h"

namespace quarvel::testing_support {
namespace {

constexpr uint64_t kSize = 1'000'000;

struct ChunkMapDownload : DownloadTest {
  void SetUp() override {
    use_package(kSize);
    use_chunk_map();
  }
  // The chunk that holds the byte.
  const ChunkEntry& chunk_at(uint64_t offset) const {
    return *std::find_if(map.chunks.begin(), map.chunks.end(),
                         [&](const ChunkEntry& c) { return offset < c.offset + c.length; });
  }
  std::string map_request_line(uint32_t n, uint32_t retry = 0) const {
    const uint64_t size = http.chunk_map.size();
    return "request=" + std::to_string(n) + " map=0-" + std::to_string(size - 1) + "/" +
           std::to_string(size) + " retry=" + std::to_string(retry);
  }
  std::string map_done_line(uint32_t n) const {
    return "request=" + std::to_string(n) + " saved=" + std::to_string(http.chunk_map.size()) +
           " result=complete";
  }
};

TEST_F(ChunkMapDownload, TheMapIsFetchedFirstKeptAndUsedAgainWithoutARequest) {
  ASSERT_TRUE(download().ok());
  EXPECT_TRUE(http.requests[0].address.ends_with("Setup.exe.chunks"));
  EXPECT_EQ(log_lines(), (Lines{map_request_line(1), map_done_line(1),
                                "request=2 range=0-999999/1000000 retry=0",
                                "request=2 saved=1000000 result=complete"}));
  EXPECT_EQ(status.updates.front(), (StatusUpdate{"正在获取分块清单…", 0}));
  EXPECT_EQ(files.files.at(chunk_map_file()), http.chunk_map);
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, kSize, 206, 0}));

  files.files.erase(package_file());
  http.requests.clear();
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(http.requests, (std::vector{range(0, kSize - 1, 0)})) << "the kept map is used";
}

TEST_F(ChunkMapDownload, ABadByteCostsItsChunkAndOneFailedAttempt) {
  http.replies = {ScriptedReply{}, ScriptedReply{.flip_at = 300'000}};
  const ChunkEntry& bad = chunk_at(300'000);
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(
      log_lines(),
      (Lines{map_request_line(1), map_done_line(1), "request=2 range=0-999999/1000000 retry=0",
             "request=2 chunk=" + chunk_range(bad) + " mismatch host=packages.quarvel.test",
             "request=2 saved=" + std::to_string(bad.offset) + " result=下载数据校验失败",
             "request=3 range=" + std::to_string(bad.offset) + "-999999/1000000 retry=1",
             "request=3 saved=1000000 result=complete"}));
  const auto reads_of = [](uint64_t bytes) { return (bytes + 65535) / 65536; };
  EXPECT_EQ(http.reads, 1 + reads_of(bad.offset + bad.length) + reads_of(kSize - bad.offset))
      << "the map, the bad answer up to its bad chunk, the rest";
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, kSize, 206, 0}));
}

// A map answer that fails in any way is its host's failure: the next attempt
// fetches it again.
TEST_F(ChunkMapDownload, AMapAnswerThatFailsIsRetried) {
  const std::vector<std::pair<ScriptedReply, std::string>> cases{
      {ScriptedReply{.flip_at = 70}, "分块清单与版本信息不符"},
      {ScriptedReply{.status = 404}, "分块清单不可用（HTTP 404）"},
      {ScriptedReply{.status = 503}, "下载服务暂时不可用（HTTP 503）"},
  };
  for (const auto& [reply, reason] : cases) {
    SCOPED_TRACE(reason);
    files.files.clear();
    http.replies = {reply};
    ASSERT_TRUE(download().ok());
    const Lines log = log_lines();
    EXPECT_EQ(log.at(log.size() - 5), "request=1 saved=0 result=" + reason);
    EXPECT_EQ(log.at(log.size() - 4), map_request_line(2, 1));
    EXPECT_EQ(files.files.at(chunk_map_file()), http.chunk_map);
  }
}

// What a resumed partial file keeps: its complete chunks up to the first
// that does not match (one mid-way: the end-to-end chunk map test).
TEST_F(ChunkMapDownload, AResumedPartialFileKeepsItsCompleteChunksThatMatch) {
  const ChunkEntry& third = map.chunks[2];
  const uint64_t third_end = third.offset + third.length;
  const ChunkEntry& last = map.chunks.back();
  std::string changed_last = content;
  changed_last[kSize - 1] ^= 1;
  struct Case {
    const char* name;
    std::string partial;
    uint64_t kept;
    std::string log_line;
  };
  const std::vector<Case> cases{
      {"a chunk begun", content.substr(0, third_end + 1000), third_end,
       "partial=" + std::to_string(third_end + 1000) + " checked=" + std::to_string(third_end)},
      {"complete but wrong", changed_last, last.offset,
       "partial=1000000 checked=" + std::to_string(last.offset) + " chunk=" + chunk_range(last) +
           " mismatch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files.files = {{partial_file(), c.partial}, {chunk_map_file(), http.chunk_map}};
    http.requests.clear();
    ASSERT_TRUE(download().ok());
    EXPECT_EQ(log_lines().at(log_lines().size() - 3), c.log_line);
    EXPECT_EQ(http.requests, (std::vector{range(c.kept, kSize - 1, 0)}));
    EXPECT_EQ(files.files.at(package_file()), content);
    EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{c.kept, kSize - c.kept, 206, 0}));
  }
}

TEST_F(ChunkMapDownload, TheCheckOfAPartialFileShowsItsPercentAndStopsForAPause) {
  files.files[partial_file()] = content.substr(0, 800'000);
  const DownloadEnvironment env{http, files, clock, wall_clock, random, status, pause, stats};
  // Every text takes 0.1 s, so each read of 64 KiB shows the next.
  status.on_update = [&](const StatusUpdate&) { clock.time += std::chrono::milliseconds(100); };
  ASSERT_TRUE(check_partial_file(env, partial_file(), 800'000, map));
  ASSERT_GE(status.updates.size(), 10u);
  EXPECT_EQ(status.updates.front(), (StatusUpdate{"正在检查已下载的部分 0%", 0}));
  for (size_t i = 1; i < status.updates.size(); ++i)
    EXPECT_LT(status.updates[i - 1].percent, status.updates[i].percent) << "the bar moves";

  status.on_update = [&](const StatusUpdate&) { pause = true; };
  EXPECT_EQ(check_partial_file(env, partial_file(), 800'000, map).message(),
            "下载已暂停，可继续下载");
}

}  // namespace
}  // namespace quarvel::testing_support
