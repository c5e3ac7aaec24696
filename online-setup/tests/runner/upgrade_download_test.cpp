// The download engine upgrading from a cached package of another build: the
// chunks the base shares copied and only the rest fetched, an unreadable base
// costing its chunks and never the run (a changed byte in it: the end-to-end
// upgrade test), a stopped upgrade resumed, and the cache keeping one base.
#include <gtest/gtest.h>

#include "download_fixture.h"
#include "release/upgrade_plan.h"
#include "runner/cache_cleanup.h"

namespace quarvel::testing_support {
namespace {

constexpr uint64_t kOldSize = 2'000'000;
constexpr char kBaseName[] = "Quarvel-1.4-b30-Windows-x64-Setup.exe";

struct UpgradeDownload : DownloadTest {
  std::string base;  // build 30, in the cache with its kept map
  ChunkMap base_map;
  std::string base_map_name;

  void SetUp() override {
    base = package_bytes(kOldSize, 30);
    // Build 31: an insertion, an overwrite and a deletion.
    content = base;
    content.insert(300'000, package_bytes(5'000, 31));
    content.replace(1'200'000, 20'000, package_bytes(20'000, 32));
    content.erase(1'700'000, 7'000);
    manifest = manifest_for(content.size(), sha256_hex(content));
    http.package = content;
    http.total = content.size();
    use_chunk_map();
    base_map = chunk_map_of(base);
    base_map_name = "30-" + sha256_hex(base) + ".chunks";
    files.files[in_cache(kBaseName)] = base;
    files.files[in_cache(base_map_name)] = encode_chunk_map(base_map);
  }
  // The package ranges asked for (the map's request left out).
  std::vector<RangeRequest> package_requests() const {
    std::vector<RangeRequest> ranges;
    for (const RangeRequest& request : http.requests) {
      if (!request.address.ends_with(".chunks"))
        ranges.push_back(request);
    }
    return ranges;
  }
};

TEST_F(UpgradeDownload, CopiesWhatTheBaseSharesFetchesTheRestAndKeepsOneBase) {
  rate_cap = 1'000'000;  // network bytes only: copies are never held back
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(files.files.at(package_file()), content);
  const UpgradeCost plan = cost_of(plan_upgrade(map.chunks, base_map.chunks));
  EXPECT_LT(plan.fetched, content.size() / 5) << "three changes cost a few chunks each";
  std::vector<RangeRequest> expected;
  for (const UpgradeStep& step : plan_upgrade(map.chunks, base_map.chunks)) {
    if (!step.copy)
      expected.push_back(range(step.offset, step.offset + step.length - 1, 0));
  }
  EXPECT_EQ(package_requests(), expected) << "one request per range of the plan";
  EXPECT_LT(clock.time, std::chrono::seconds(1)) << "the cap paces the fetched bytes alone";

  const Lines log = log_lines();
  EXPECT_EQ(log.at(2), "base=" + std::string(kBaseName) + " copy=" + std::to_string(plan.copied) +
                           " fetch=" + std::to_string(plan.fetched) +
                           " ranges=" + std::to_string(plan.ranges));
  EXPECT_TRUE(has_line(log, "base copied=" + std::to_string(plan.copied) +
                                " network=" + std::to_string(plan.fetched)));
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, content.size(), 206, plan.copied}));
  EXPECT_EQ(status.sources, (PackageSources{plan.copied, plan.fetched}));
  EXPECT_FALSE(texts_starting("正在复用本机已有的安装包 · 已完成 ").empty());

  EXPECT_EQ(Lines(log.end() - 2, log.end()),
            (Lines{"removed=" + base_map_name, "removed=" + std::string(kBaseName)}));
  EXPECT_FALSE(has(in_cache(kBaseName)));
  EXPECT_TRUE(has(chunk_map_file())) << "the new base's own map stays";
}

TEST_F(UpgradeDownload, ABaseThatCannotBeReadIsFetchedInstead) {
  files.unreadable.insert(in_cache(kBaseName));
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_TRUE(has_line(log_lines(), "base unreadable: " + files.failure_text));
  EXPECT_EQ(stats.snapshot().base_bytes, 0u);
}

TEST_F(UpgradeDownload, AStoppedUpgradeResumesFromItsCheckedPartialFile) {
  // Paused once the first copies are written.
  status.on_update = [&](const StatusUpdate& update) {
    if (update.text.starts_with("正在复用"))
      pause = true;
  };
  EXPECT_EQ(download().message(), "下载已暂停，可继续下载");
  const uint64_t kept = files.files.at(partial_file()).size();
  ASSERT_GT(kept, 0u);
  EXPECT_EQ(content.compare(0, kept, files.files.at(partial_file())), 0);

  status.on_update = nullptr;
  pause = false;
  http.requests.clear();
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_TRUE(has_line(log_lines(),
                       "partial=" + std::to_string(kept) + " checked=" + std::to_string(kept)));
  const DownloadStatsSnapshot resumed = stats.snapshot();
  EXPECT_EQ(resumed.resumed_bytes, kept);
  EXPECT_LT(resumed.transferred_bytes - *resumed.base_bytes, content.size() / 5);
  for (const RangeRequest& request : http.requests)
    EXPECT_GE(request.first, kept) << "nothing before the partial file's end";
}

// Once a package is verified, only the packages and maps of older builds
// leave the cache; a file that cannot be deleted stays and is named.
using CacheCleanup = DownloadTest;

TEST_F(CacheCleanup, RemovesOnlyThePackagesAndMapsOfOlderBuilds) {
  const std::string sha(64, 'a');
  const std::vector<std::pair<std::string, bool>> names{
      {"Quarvel-1.4-b30-Windows-x64-Setup.exe", true},
      {"Quarvel-1.3.9-b29-Windows-x64-Setup.exe", true},  // held by another program
      {"30-" + sha + ".chunks", true},
      {"Quarvel-1.4-b31-Windows-x64-Setup.exe", false},
      {"31-" + sha + ".chunks", false},
      {"Quarvel-1.5-b32-Windows-x64-Setup.exe", false},
      {"30-" + sha + ".part", false},
      {"Quarvel-1.4-b030-Windows-x64-Setup.exe", false},
      {"30-" + std::string(64, 'A') + ".chunks", false},
      {"30-" + sha + ".chunks.tmp", false},
      {"latest.json", false},
      {"installer.lock", false},
      {"notes.txt", false},
  };
  for (const auto& [name, removed] : names)
    files.files[in_cache(name)] = "x";
  files.files["C:\\cache\\sub\\Quarvel-1.4-b30-Windows-x64-Setup.exe"] = "another folder";
  files.undeletable.insert(in_cache(names[1].first));
  remove_older_builds(files, kCacheDir, 31);
  for (const auto& [name, removed] : names)
    EXPECT_EQ(has(in_cache(name)), !removed || name == names[1].first) << name;
  EXPECT_TRUE(has("C:\\cache\\sub\\Quarvel-1.4-b30-Windows-x64-Setup.exe"));
  Lines log = log_lines();
  std::sort(log.begin(), log.end());
  EXPECT_EQ(log, (Lines{"removed=30-" + sha + ".chunks",
                        "removed=" + names[1].first + " failed=" + files.failure_text,
                        "removed=" + names[0].first}));
}

}  // namespace
}  // namespace quarvel::testing_support
