#include "runner/run_status.h"

#include <gtest/gtest.h>

#include "support/fake_random.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using testing_support::MemoryFileSystem;

TEST(ProgressFilePath, ReplacesTheExtensionOfTheFinalComponent) {
  EXPECT_EQ(progress_file_path("D:\\out\\result.json"), "D:\\out\\result.progress.json");
  EXPECT_EQ(progress_file_path("D:\\out\\result"), "D:\\out\\result.progress.json");
  EXPECT_EQ(progress_file_path("D:\\out\\.result"), "D:\\out\\.result.progress.json");
  EXPECT_EQ(progress_file_path("D:\\out.d\\result"), "D:\\out.d\\result.progress.json");
  EXPECT_EQ(progress_file_path("D:/out/a.b.c"), "D:/out/a.b.progress.json");
  EXPECT_EQ(progress_file_path("report.json"), "report.progress.json");
  EXPECT_EQ(progress_file_path("result."), "result.progress.json");
}

struct ReporterFixture : testing::Test {
  SharedStatus status;
  MemoryFileSystem files;
  testing_support::FixedRandom random;
};

TEST_F(ReporterFixture, SetStatusReplacesTheRecordAndMirrorsItToTheProgressFile) {
  const ArgumentList arguments{"p", "--report", "D:\\out\\r.json"};
  SharedStatusReporter reporter(status, files, random, arguments);
  reporter.set_status("first", 3);
  reporter.set_status("正在下载 \"x\"\n", 42);
  EXPECT_EQ(status.text, "正在下载 \"x\"\n");
  EXPECT_EQ(status.percent, 42u);
  EXPECT_EQ(files.files.at("D:\\out\\r.progress.json"),
            "{\"percent\":42,\"text\":\"正在下载 \\\"x\\\"\\n\"}");
  EXPECT_EQ(files.files.size(), 1u)
      << "a temporary file renamed over the progress file; the report itself is not written here";
  EXPECT_FALSE(status.running || status.installing || status.finished);
}

TEST_F(ReporterFixture, NoProgressFileWithoutAReportValue) {
  for (const ArgumentList& arguments : {ArgumentList{"p"}, ArgumentList{"p", "--report"}}) {
    SharedStatusReporter reporter(status, files, random, arguments);
    reporter.set_status("text", 1);
    EXPECT_TRUE(files.files.empty());
    EXPECT_EQ(status.text, "text");
  }
}

TEST_F(ReporterFixture, WriteFailuresAreSilent) {
  const ArgumentList arguments{"p", "--report", "missing\\r.json"};
  files.unwritable.insert("missing\\r.progress.json");
  SharedStatusReporter reporter(status, files, random, arguments);
  reporter.set_status("still recorded", 7);
  EXPECT_EQ(status.text, "still recorded");
  EXPECT_TRUE(files.files.empty());
}

TEST(ProcessRecords, StartInTheirInitialState) {
  EXPECT_FALSE(pause_requested().load());
  const std::lock_guard lock(shared_status().mutex);
  EXPECT_EQ(shared_status().percent, 0u);
  EXPECT_FALSE(shared_status().finished);
}

}  // namespace
}  // namespace quarvel
