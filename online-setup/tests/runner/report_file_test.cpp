#include "runner/report_file.h"

#include <gtest/gtest.h>

#include "support/fake_random.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using testing_support::MemoryFileSystem;

TEST(Report, FailureHasFourLines) {
  EXPECT_EQ(report_text(Failure{"本机用户目录不可用"}),
            "{\n  \"error\": \"本机用户目录不可用\",\n  \"status\": \"failed\"\n}");
}

TEST(Report, SuccessIsThePrettyReportObject) {
  const RunOutcome outcome = nlohmann::json{{"status", "complete"}, {"build", 31}};
  EXPECT_EQ(report_text(outcome), "{\n  \"build\": 31,\n  \"status\": \"complete\"\n}");
}

TEST(Report, WrittenOnlyWithAReportValueAndSilentOnFailure) {
  MemoryFileSystem files;
  testing_support::FixedRandom random;
  write_report(files, random, {"p", "--report"}, Failure{"x"});
  EXPECT_TRUE(files.files.empty());
  files.files["out.json"] = "an older and longer report";
  write_report(files, random, {"p", "--report", "out.json"}, Failure{"x"});
  EXPECT_EQ(files.files["out.json"], report_text(Failure{"x"})) << "replaced whole";
  EXPECT_EQ(files.files.size(), 1u) << "through a temporary file renamed over it";
  EXPECT_EQ(files.flush_count, 1);
  files.unwritable.insert("locked.json");
  write_report(files, random, {"p", "--report", "locked.json"}, Failure{"x"});
  EXPECT_EQ(files.files.count("locked.json"), 0u);
  EXPECT_EQ(files.files.size(), 1u) << "the temporary file is gone";
}

}  // namespace
}  // namespace quarvel
