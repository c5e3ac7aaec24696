// The download engine from the cache's point of view: reuse, resume,
// reconciling the partial file, publishing, and file-system failures.
#include <gtest/gtest.h>

#include "download_fixture.h"

namespace quarvel::testing_support {
namespace {

using Updates = std::vector<StatusUpdate>;

TEST_F(DownloadTest, VerifiedPackageInTheCacheIsReusedWithoutARequest) {
  use_package(200000);
  files.files[package_file()] = content;
  files.files[partial_file()] = "stale";
  stats.reset(7);
  stats.set_http_status(206);
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(*result, package_file());
  EXPECT_TRUE(http.requests.empty());
  EXPECT_EQ(status.updates, (Updates{{"已找到校验通过的安装包", 92}}));
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{200000, 0, 0}));
  EXPECT_EQ(files.files.at(partial_file()), "stale");
  EXPECT_FALSE(has(log_file()));
  EXPECT_EQ(files.directories.count(kCacheDir), 1u);
}

TEST_F(DownloadTest, CompletePartialFileThatVerifiesBecomesThePackageSilently) {
  use_package(200000);
  files.files[package_file()] = "an older package of the same name";
  files.files[partial_file()] = content;
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_FALSE(has(partial_file()));
  EXPECT_TRUE(http.requests.empty());
  EXPECT_TRUE(status.updates.empty());
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{200000, 0, 0}));
}

TEST_F(DownloadTest, WrongOrOversizePartialFileIsEmptiedAndFetchedFromZero) {
  use_package(kSegment + 1);
  std::string flipped = content;
  flipped[kSegment / 2] ^= 1;
  for (const std::string& stale : {flipped, content + "x"}) {
    files.files = {{partial_file(), stale}};
    http.requests.clear();
    const auto result = download();
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(log_lines().front(), "request=1 range=0-8388607/8388609 retry=0");
    EXPECT_EQ(http.requests.front(), range(0, kSegment - 1, 0));
    EXPECT_EQ(files.files.at(package_file()), content);
    EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, kSegment + 1, 206}));
  }
}

TEST_F(DownloadTest, PackageOfOneByteOverEightMebibytesTakesTwoSegments) {
  use_package(kSegment + 1);
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(*result, package_file());
  EXPECT_EQ(http.requests, (std::vector{range(0, 8388607, 0), range(8388608, 8388608, 0)}));
  EXPECT_EQ(log_lines(), (Lines{"request=1 range=0-8388607/8388609 retry=0",
                                "request=1 saved=8388608 result=complete",
                                "request=2 range=8388608-8388608/8388609 retry=0",
                                "request=2 saved=8388609 result=complete"}));
  // The clock stands still, so each window is divided by the 1 ms floor.
  EXPECT_EQ(status.updates, (Updates{{"正在连接 · 已下载 0.0 / 8.0 MB", 0},
                                     {"正在下载 8.0 / 8.0 MB · 8000.0 MB/s", 84},
                                     {"正在连接 · 已下载 8.0 / 8.0 MB", 84},
                                     {"正在下载 8.0 / 8.0 MB · 0.0 MB/s", 85},
                                     {"正在校验安装包…", 90}}));
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_FALSE(has(partial_file()));
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{0, kSegment + 1, 206}));
  EXPECT_EQ(files.flush_count, 2);
}

TEST_F(DownloadTest, ResumesAtThePartialFileSizeInRangesFromThere) {
  use_package(20000000);
  files.files[partial_file()] = content.substr(0, 10000000);
  const auto result = download();
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(http.requests,
            (std::vector{range(10000000, 18388607, 0), range(18388608, 19999999, 0)}));
  EXPECT_EQ(status.updates.front(), (StatusUpdate{"正在连接 · 已下载 9.5 / 19.0 MB", 42}));
  EXPECT_EQ(files.files.at(package_file()), content);
  EXPECT_EQ(stats.snapshot(), (DownloadStatsSnapshot{10000000, 10000000, 206}));
}

TEST_F(DownloadTest, OtherManifestsFilesAndEarlierLogLinesAreLeftAlone) {
  use_package(200000);
  const std::string old_build = partial_path(kCacheDir, manifest_for(200000, manifest.sha256, 30));
  const std::string old_digest =
      partial_path(kCacheDir, manifest_for(200000, std::string(64, 'b')));
  files.files[old_build] = "old build";
  files.files[old_digest] = "old digest";
  files.files[log_file()] = "request=1 saved=5 result=complete\n";
  ASSERT_TRUE(download().ok());
  EXPECT_EQ(files.files.at(old_build), "old build");
  EXPECT_EQ(files.files.at(old_digest), "old digest");
  EXPECT_EQ(log_lines(),
            (Lines{"request=1 saved=5 result=complete", "request=1 range=0-199999/200000 retry=0",
                   "request=1 saved=200000 result=complete"}));
}

TEST_F(DownloadTest, DownloadThatDoesNotVerifyIsDeletedAndTheOldPackageKept) {
  use_package(200000);
  http.package[123] ^= 1;
  files.files[package_file()] = "old";
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "安装包校验失败，未执行安装；请重试");
  EXPECT_EQ(status.updates.back(), (StatusUpdate{"正在校验安装包…", 90}));
  EXPECT_FALSE(has(partial_file()));
  EXPECT_EQ(files.files.at(package_file()), "old");

  http.package = content;
  ASSERT_TRUE(download().ok()) << "the next call starts again from byte 0";
  EXPECT_EQ(http.requests.back(), range(0, 199999, 0));
  EXPECT_EQ(files.files.at(package_file()), content);
}

// A file-system failure ends the call with its system error text and leaves
// the partial file as far as it had come.
struct FileFailure {
  const char* name;
  std::function<void(DownloadTest&)> arrange;
  size_t requests;
  std::optional<uint64_t> partial_size;  // nullopt: no partial file
  size_t log_lines;
  friend void PrintTo(const FileFailure& row, std::ostream* out) { *out << row.name; }
};

struct DownloadFileFailure : DownloadTest, testing::WithParamInterface<FileFailure> {};

TEST_P(DownloadFileFailure, EndsWithTheSystemErrorText) {
  use_package(200000);
  files.failure_text = "The device is not ready. (os error 21)";
  GetParam().arrange(*this);
  const auto result = download();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "The device is not ready. (os error 21)");
  EXPECT_EQ(http.requests.size(), GetParam().requests);
  EXPECT_EQ(log_lines().size(), GetParam().log_lines);
  if (GetParam().partial_size) {
    ASSERT_TRUE(has(partial_file()));
    EXPECT_EQ(files.files.at(partial_file()), http.package.substr(0, *GetParam().partial_size));
  } else {
    EXPECT_FALSE(has(partial_file()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cache,
    DownloadFileFailure,
    testing::Values(
        FileFailure{"CreateCacheDirectory",
                    [](DownloadTest& t) { t.files.unwritable.insert(kCacheDir); },
                    0,
                    {},
                    0},
        FileFailure{"OpenPartialFile",
                    [](DownloadTest& t) { t.files.unwritable.insert(t.partial_file()); },
                    0,
                    {},
                    0},
        FileFailure{"EmptyWrongPartialFile",
                    [](DownloadTest& t) {
                      t.files.files[t.partial_file()] = t.content + "x";
                      t.http.package = t.content + "x";
                      t.files.unwritable.insert(t.partial_file());
                    },
                    0, 200001, 0},
        FileFailure{"WritePartialFile",
                    [](DownloadTest& t) {
                      t.files.files[t.partial_file()] = t.content.substr(0, 100);
                      t.files.writes_before_failure_at[t.partial_file()] = 1;
                    },
                    1, 100 + 65536, 1},
        FileFailure{"FlushPartialFile", [](DownloadTest& t) { t.files.fail_flush = true; }, 1,
                    200000, 1},
        FileFailure{"RenameAfterTransfer",
                    [](DownloadTest& t) { t.files.unwritable.insert(t.package_file()); }, 1, 200000,
                    2},
        FileFailure{"RenameCompletePartialFile",
                    [](DownloadTest& t) {
                      t.files.files[t.partial_file()] = t.content;
                      t.files.unwritable.insert(t.package_file());
                    },
                    0, 200000, 0},
        FileFailure{"DeleteOldPackage",
                    [](DownloadTest& t) {
                      t.files.files[t.package_file()] = "old";
                      t.files.undeletable.insert(t.package_file());
                    },
                    1, 200000, 2},
        FileFailure{"DeleteCorruptPartialFile",
                    [](DownloadTest& t) {
                      t.http.package = package_bytes(200000, 7);
                      t.files.undeletable.insert(t.partial_file());
                    },
                    1, 200000, 2},
        FileFailure{"ReadCachedPackage",
                    [](DownloadTest& t) {
                      t.files.files[t.package_file()] = t.content;
                      t.files.unreadable.insert(t.package_file());
                    },
                    0,
                    {},
                    0},
        // A complete download that cannot be opened is kept as it is.
        FileFailure{"OpenCompletePartialFile",
                    [](DownloadTest& t) {
                      t.files.files[t.partial_file()] = t.content;
                      t.files.unopenable.insert(t.partial_file());
                    },
                    0, 200000, 0},
        FileFailure{"OpenPartialFileForVerification",
                    [](DownloadTest& t) { t.files.unopenable.insert(t.partial_file()); }, 1, 200000,
                    2},
        FileFailure{"ReadPartialFileForVerification",
                    [](DownloadTest& t) { t.files.unreadable.insert(t.partial_file()); }, 1, 200000,
                    2}),
    [](const testing::TestParamInfo<FileFailure>& info) { return std::string(info.param.name); });

// A virus scanner holds a cache file for a moment: verifying, renaming over and
// deleting the package wait it out.
TEST_F(DownloadTest, FilesHeldForAMomentAreWaitedOut) {
  using std::chrono::milliseconds;
  use_package(200000);
  enum class Cached { kNothing, kOldPackage, kPackage };
  const struct {
    Cached cached;
    bool partial_held;  // else the package file
    MemoryFileSystem::Hold hold;
    milliseconds waited;
  } cases[] = {
      {Cached::kNothing, true, {.calls = 3, .shares_reading = true}, milliseconds(700)},
      {Cached::kNothing, true, {.calls = 2}, milliseconds(300)},
      {Cached::kOldPackage, false, {.calls = 1, .shares_reading = true}, milliseconds(100)},
      {Cached::kPackage, false, {.calls = 4}, milliseconds(1500)},
  };
  for (const auto& c : cases) {
    files.files.clear();
    clock.time = {};
    if (c.cached != Cached::kNothing)
      files.files[package_file()] = c.cached == Cached::kPackage ? content : "old";
    files.held = {{c.partial_held ? partial_file() : package_file(), c.hold}};
    const auto result = download();
    ASSERT_TRUE(result.ok()) << result.message();
    EXPECT_EQ(files.files.at(package_file()), content);
    EXPECT_EQ(clock.time, c.waited);
  }
}

// Held for longer than the retries last: the system text of the last attempt,
// nothing deleted or fetched again, and the next run goes on from there.
TEST_F(DownloadTest, AHoldThatOutlastsTheRetriesEndsTheRunAndKeepsTheFiles) {
  use_package(200000);
  for (const bool exclusive : {false, true}) {
    files.files.clear();
    files.held = {{partial_file(), {.calls = -1, .shares_reading = !exclusive}}};
    EXPECT_EQ(download().message(), MemoryFileSystem::kSharingViolation);
    EXPECT_EQ(files.files.at(partial_file()), content) << "the download is kept";
    files.held.clear();
    ASSERT_TRUE(download().ok());
  }
  EXPECT_EQ(http.requests.size(), 2u) << "the next runs sent no request";
  files.held = {{package_file(), {}}};
  EXPECT_EQ(download().message(), MemoryFileSystem::kSharingViolation);
  EXPECT_EQ(http.requests.size(), 2u) << "a held package is not fetched again";
}

TEST_F(DownloadTest, APauseDuringTheWaitEndsTheDownload) {
  use_package(200000);
  files.held = {{partial_file(), {}}};
  clock.on_sleep = [this] { pause = true; };
  EXPECT_EQ(download().message(), "下载已暂停，可继续下载");
  EXPECT_EQ(files.files.at(partial_file()), content);
}

}  // namespace
}  // namespace quarvel::testing_support
