#include "publisher/publish_command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/release_manifest.h"
#include "core/sha256.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using testing_support::MemoryFileSystem;

constexpr char kHost[] = "packages.quarvel.test";
constexpr char kManifest[] = "out\\latest.json";

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class PublishCommand : public testing::Test {
 protected:
  PublishCommand() { files.files["pkg.exe"] = std::string(1'048'577, 'q'); }

  // The command line of build 31 (1.4.2, shown as 1.4), with replacements.
  std::vector<std::string> arguments(const std::string& option = "",
                                     const std::string& value = "") {
    std::vector<std::string> line{"pkg.exe", "--version", "1.4.2", "--display-version",
                                  "1.4",     "--build",   "31",    "--package-host",
                                  kHost,     "--out",     "out"};
    for (size_t i = 0; i + 1 < line.size(); ++i) {
      if (line[i] == option)
        line[i + 1] = value;
    }
    return line;
  }

  Outcome run(const std::vector<std::string>& line) {
    std::ostringstream out, err;
    const int code = run_publish(line, files, out, err);
    return {code, out.str(), err.str()};
  }

  // Only the package is there: nothing written, no folder made.
  void expect_nothing_written() {
    EXPECT_EQ(files.files.size(), 1u);
    EXPECT_TRUE(files.directories.empty());
  }

  MemoryFileSystem files;
};

TEST_F(PublishCommand, WritesACompactManifestTheInstallerAcceptsAndPrintsTheUploadPath) {
  const Outcome outcome = run(arguments());
  ASSERT_EQ(outcome.code, 0) << outcome.err;
  const std::string path = "/downloads/quarvel/1.4.2/Quarvel-1.4-b31-Windows-x64-Setup.exe";
  EXPECT_EQ(outcome.out, path + "\n");
  EXPECT_EQ(outcome.err, "");
  const std::string digest = sha256_hex(files.files["pkg.exe"]);
  EXPECT_EQ(
      files.files[kManifest],
      "{\"build\":31,\"bytes\":1048577,\"channel\":\"cef-offline\",\"displayVersion\":\"1.4\","
      "\"platform\":\"windows-x64\",\"product\":\"quarvel\",\"schema\":1,\"sha256\":\"" +
          digest + "\",\"url\":\"https://packages.quarvel.test" + path +
          "\",\"version\":\"1.4.2\"}");
  const Result<ReleaseManifest> accepted = parse_release_manifest(files.files[kManifest], kHost);
  ASSERT_TRUE(accepted) << accepted.message();
  EXPECT_EQ(accepted->sha256, digest);
  EXPECT_EQ(files.files.size(), 2u) << "no temporary file is left";
}

TEST_F(PublishCommand, RefusesWhatTheInstallerWouldRefuseWithItsMessageAndWritesNothing) {
  struct Case {
    std::string option, value, message;
  };
  const std::vector<Case> cases{
      {"--version", "1.2", "版本格式无效"},
      {"--display-version", "1.4.0000000000000", "公开版本无效"},  // 17 bytes
      {"--build", "26", "在线安装需要内部构建 27 或更新版本"},
      {"--build", "3l", "在线安装需要内部构建 27 或更新版本"},
      {"--version", "1.4." + std::string(70'000, '2'), "版本信息过大"},
      {"--package-host", "packages.quarvel.test/mirror", "下载主机无效"},
      {"--package-host", "packages.quarvel.test:443", "下载主机无效"},
      {"--package-host", "", "下载主机无效"},
      {"--package-host", "-packages.quarvel.test", "下载主机无效"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option + " " + c.value.substr(0, 40));
    const Outcome outcome = run(arguments(c.option, c.value));
    EXPECT_EQ(outcome.code, 1);
    EXPECT_EQ(outcome.err, c.message + "\n");
    EXPECT_EQ(outcome.out, "");
    expect_nothing_written();
  }
  files.files["pkg.exe"].pop_back();  // 1,048,576 bytes
  EXPECT_EQ(run(arguments()).err, "安装包大小无效\n");
  expect_nothing_written();
}

// The temporary file has a new name of its own: another one (of another run,
// say) is never overwritten or removed, and on failure only its own goes.
TEST_F(PublishCommand, FileProblemsFailWithTheirTextAndRemoveOnlyTheRunsOwnFile) {
  files.files["out\\latest.json.tmp"] = "another run's";
  files.writes_before_failure = 0;  // writing the temporary file fails
  EXPECT_EQ(run(arguments()).err, files.failure_text + "\n");
  EXPECT_EQ(files.files.size(), 2u);

  files.writes_before_failure = -1;
  files.unwritable.insert(kManifest);  // the final rename fails
  const Outcome outcome = run(arguments());
  EXPECT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.err, files.failure_text + "\n");
  EXPECT_EQ(files.files.size(), 2u);

  files.unwritable.clear();
  files.names_taken = 15;  // the last of 16 names is free
  ASSERT_EQ(run(arguments()).code, 0);
  EXPECT_EQ(files.files.size(), 3u);
  EXPECT_EQ(files.files["out\\latest.json.tmp"], "another run's");
  files.names_taken = 16;
  EXPECT_EQ(run(arguments()).err, "The file exists. (os error 80)\n");

  files.files.erase("pkg.exe");
  EXPECT_EQ(run(arguments()).err, "cannot open the package: pkg.exe\n");
}

// A file whose reads return more than its measured size (this process's
// status, measured as 0 bytes) is still changing: it is refused.
TEST_F(PublishCommand, APackageThatChangesWhileItIsReadIsRefused) {
  std::vector<std::string> line = arguments();
  line[0] = "/proc/self/status";
  std::ostringstream out, err;
  EXPECT_EQ(run_publish(line, system_file_system(), out, err), 1);
  EXPECT_TRUE(err.str().starts_with("the package changed while it was read (0 bytes measured, "))
      << err.str();
}

TEST_F(PublishCommand, AMalformedCommandLineShowsTheUsageAndWritesNothing) {
  std::vector<std::string> no_out = arguments();
  no_out.resize(no_out.size() - 2);
  std::vector<std::string> repeated = arguments();
  repeated.insert(repeated.end(), {"--build", "32"});
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {no_out, "missing: --out"},
      {{}, "missing: --version --display-version --build --package-host --out PACKAGE"},
      {repeated, "repeated option --build"},
      {{"pkg.exe", "--quiet"}, "unknown option --quiet"},
      {{"pkg.exe", "other.exe"}, "more than one package: other.exe"},
      {{"pkg.exe", "--out"}, "no value after --out"},
  };
  for (const auto& [line, problem] : cases) {
    SCOPED_TRACE(problem);
    const Outcome outcome = run(line);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.err, "quarvel-publish: " + problem + "\n" + kPublishUsage + "\n");
  }
  expect_nothing_written();
}

}  // namespace
}  // namespace quarvel
