#include "runner/install_run.h"

#include <gtest/gtest.h>

#include "core/base64.h"
#include "core/sha256.h"
#include "runner/download_stats.h"
#include "support/accepting_verifier.h"
#include "support/fake_clock.h"
#include "support/fake_random.h"
#include "support/memory_file_system.h"
#include "support/recording_status.h"
#include "support/scripted_http_client.h"

namespace quarvel {
namespace {

using namespace testing_support;

constexpr char kPackageUrl[] =
    "https://packages.quarvel.test/downloads/quarvel/1.4.2/Quarvel-1.4-b31-Windows-x64-Setup.exe";
constexpr char kPackagePath[] = "C:\\cache\\Quarvel-1.4-b31-Windows-x64-Setup.exe";

// A body-only response for the manifest request.
class BodyResponse final : public HttpResponse {
 public:
  BodyResponse(uint32_t status, std::string body) : status_(status), body_(std::move(body)) {}
  uint32_t status() const override { return status_; }
  std::optional<std::string> header(std::string_view) override { return std::nullopt; }
  Result<size_t> read(std::span<uint8_t> buffer, const std::atomic<bool>&) override {
    const size_t n = std::min(buffer.size(), body_.size() - position_);
    std::copy_n(body_.data() + position_, n, buffer.data());
    position_ += n;
    return n;
  }

 private:
  uint32_t status_;
  std::string body_;
  size_t position_ = 0;
};

// The release host answers the manifest; the package host is scripted.
class HostsClient final : public HttpClient {
 public:
  ScriptedHttpClient packages;
  uint32_t manifest_status = 200;
  std::string manifest;
  std::vector<std::string> gets;
  Result<ResponsePtr> http_get(std::string_view address, std::optional<ByteRange>) override {
    gets.emplace_back(address);
    return ResponsePtr(std::make_unique<BodyResponse>(manifest_status, manifest));
  }
  Result<ResponsePtr> http_get_range(std::string_view address,
                                     uint64_t first,
                                     uint64_t last,
                                     uint32_t attempt) override {
    return packages.http_get_range(address, first, last, attempt);
  }
};

struct FakePaths final : SystemPaths {
  std::optional<std::string> local = "C:\\Users\\u\\AppData\\Local";
  std::optional<std::string> local_app_data() override { return local; }
  std::string temp_dir() override { return "C:\\Temp\\"; }
};

struct FakeLauncher final : SetupLauncher {
  Result<uint32_t> answer = uint32_t{0};
  int refused_starts = 0;  // starts refused first with a sharing violation
  std::vector<std::string> command_lines;
  std::function<void()> on_run;
  Result<uint32_t> run_and_wait(const std::string&, const std::string& line) override {
    command_lines.push_back(line);
    if (on_run)
      on_run();
    if (refused_starts != 0) {
      --refused_starts;
      return Failure{"无法启动安装：另一个程序正在使用此文件，进程无法访问。 (os error 32)", 32};
    }
    return answer;
  }
};

struct FakeVerifier final : SignatureVerifier {
  SignatureFinding finding;
  std::vector<std::string> paths;
  std::function<void()> on_verify;
  SignatureFinding verify_file(const std::string& path, ReadableFile&) override {
    paths.push_back(path);
    if (on_verify)
      on_verify();
    return finding;
  }
};

// How many keep-awake requests the run holds at the moment.
struct CountingKeepAwake final : KeepAwake {
  int holds = 0;
  void hold() override { ++holds; }
  void release() override { --holds; }
};

struct InstallRun : testing::Test {
  HostsClient http;
  AllowedHosts hosts{{"releases.quarvel.test"}, {"packages.quarvel.test"}};
  MemoryFileSystem files;
  FakeClock clock;
  FixedWallClock wall_clock{133932528000000000};
  FixedRandom random;
  CountingKeepAwake keep_awake;
  RecordingStatus status;
  SharedStatus shared;
  std::atomic<bool> pause{false};
  DownloadStats stats;
  FakePaths paths;
  FakeLauncher launcher;
  RunEnvironment environment{http,   hosts,  files, clock, wall_clock, random,  keep_awake,
                             status, shared, pause, stats, paths,      launcher};
  std::string package = std::string(3 * 1048576 + 17, 'q');

  void SetUp() override {
    http.packages.package = package;
    http.packages.total = package.size();
    http.manifest = nlohmann::json{
        {"schema", 1},
        {"product", "quarvel"},
        {"platform", "windows-x64"},
        {"channel", "cef-offline"},
        {"build", 31},
        {"version", "1.4.2"},
        {"displayVersion", "1.4"},
        {"bytes", package.size()},
        {"sha256", sha256_hex(package)},
        {"url",
         kPackageUrl}}.dump();
  }
  ArgumentList args(std::initializer_list<std::string> more) {
    ArgumentList list{"QuarvelOnlineSetup.exe", "--cache-dir", "C:\\cache"};
    list.insert(list.end(), more);
    return list;
  }
};

TEST_F(InstallRun, HeadlessInstallStartsTheSetupAndReportsTheDownload) {
  const RunOutcome outcome =
      run_headless(environment, "D:\\My Apps\\Quarvel", args({"--quiet", "--portable"}));
  ASSERT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_EQ(http.gets, (std::vector<std::string>{
                           "https://releases.quarvel.test/api/v2/releases/quarvel/latest.json"}));
  EXPECT_EQ(launcher.command_lines,
            (std::vector<std::string>{
                std::string("\"") + kPackagePath +
                "\" --online-install --install-dir \"D:\\My Apps\\Quarvel\" --portable"}));
  const nlohmann::json expected = {{"build", 31},
                                   {"bytes", package.size()},
                                   {"downloadOnly", false},
                                   {"httpStatus", 206},
                                   {"installDir", "D:\\My Apps\\Quarvel"},
                                   {"package", kPackagePath},
                                   {"resumedBytes", 0},
                                   {"sha256", sha256_hex(package)},
                                   {"status", "complete"},
                                   {"transferredBytes", package.size()}};
  EXPECT_EQ(outcome.value(), expected);
  EXPECT_EQ(status.updates.front(), (StatusUpdate{"正在获取最新的 Quarvel 1.02…", 0}));
  for (const StatusUpdate& update : status.updates)
    EXPECT_NE(update.text, "正在安装，请稍候…");
  EXPECT_TRUE(shared.installing);
  EXPECT_EQ(shared.percent, 96u);
  EXPECT_EQ(shared.text, "正在安装，请稍候…");
  EXPECT_EQ(files.files.at(kPackagePath), package) << "the package stays in the cache";
}

TEST_F(InstallRun, DownloadOnlyNeitherChecksAgainNorStartsTheSetup) {
  pause = false;
  const RunOutcome outcome = run_headless(environment, "", args({"--download-only"}));
  ASSERT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_TRUE(launcher.command_lines.empty());
  EXPECT_EQ(outcome.value()["downloadOnly"], true);
  EXPECT_EQ(outcome.value()["installDir"], "");
  EXPECT_FALSE(shared.installing);
}

TEST_F(InstallRun, ACachedPackageIsReusedWithoutARequest) {
  files.files[kPackagePath] = package;
  const RunOutcome outcome = run_headless(environment, "D:\\Q", args({"--quiet"}));
  ASSERT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_TRUE(http.packages.requests.empty());
  EXPECT_EQ(outcome.value()["resumedBytes"], package.size());
  EXPECT_EQ(outcome.value()["transferredBytes"], 0);
  EXPECT_EQ(outcome.value()["httpStatus"], 0);
}

TEST_F(InstallRun, FailuresOfTheCalledStepsPassUnchanged) {
  http.manifest_status = 404;
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(), "获取版本失败（HTTP 404）");
  http.manifest_status = 200;
  http.manifest = "[]";
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(),
            "在线安装需要内部构建 27 或更新版本");
  EXPECT_TRUE(http.packages.requests.empty());
  EXPECT_EQ(status.updates.back(), (StatusUpdate{"正在获取最新的 Quarvel 1.02…", 0}));
}

TEST_F(InstallRun, LocalAppDataMustExistEvenWithACacheDir) {
  paths.local.reset();
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(), "本机用户目录不可用");
  EXPECT_TRUE(http.packages.requests.empty());
}

TEST_F(InstallRun, DefaultCacheDirIsUnderLocalAppData) {
  const RunOutcome outcome =
      run_headless(environment, "D:\\Q", {"QuarvelOnlineSetup.exe", "--download-only"});
  ASSERT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_EQ(
      outcome.value()["package"],
      "C:\\Users\\u\\AppData\\Local\\Quarvel/Installer\\Quarvel-1.4-b31-Windows-x64-Setup.exe");
}

TEST_F(InstallRun, PauseAfterTheDownloadStopsBeforeTheCheck) {
  files.files[kPackagePath] = package;
  status.on_update = [this](const StatusUpdate& update) {
    if (update.percent == 92)
      pause = true;
  };
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(), "下载已暂停，可重试继续下载");
  EXPECT_TRUE(launcher.command_lines.empty());
}

TEST_F(InstallRun, APackageChangedDuringTheCountdownIsNotStarted) {
  const LocationProvider provider = [this](std::chrono::nanoseconds finished, const ArgumentList&) {
    EXPECT_EQ(finished, clock.time);
    files.files[kPackagePath][10] ^= 1;
    return Result<std::string>("D:\\Quarvel");
  };
  EXPECT_EQ(run_for_window(environment, args({}), provider).message(),
            "安装包发生改变，未执行安装");
  EXPECT_TRUE(launcher.command_lines.empty());
  EXPECT_EQ(files.files.count(kPackagePath), 1u) << "the altered file is left in place";
}

TEST_F(InstallRun, WindowLocationFailureEndsTheRun) {
  const LocationProvider provider = [](std::chrono::nanoseconds, const ArgumentList&) {
    return Result<std::string>(Failure{"请选择完整的安装目录，例如 D:\\Quarvel"});
  };
  EXPECT_EQ(run_for_window(environment, args({}), provider).message(),
            "请选择完整的安装目录，例如 D:\\Quarvel");
  EXPECT_TRUE(launcher.command_lines.empty());
}

TEST_F(InstallRun, SetupFailuresBecomeTheOutcome) {
  launcher.answer = uint32_t{1};
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(),
            "安装未完成，原有文件和记录已保留。请检查目录权限后重试。");
  launcher.answer = Failure{"无法启动安装：拒绝访问。 (os error 5)"};
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(),
            "无法启动安装：拒绝访问。 (os error 5)");
}

TEST_F(InstallRun, WithSignersOnlyAnAcceptedSignatureIsStarted) {
  FakeVerifier verifier;
  const PackageSignatureCheck check("Quarvel Ltd;Quarvel Test Publisher", verifier);
  environment.signature_check = &check;
  verifier.finding = {0x800B0100, {}};
  const LocationProvider location = [](std::chrono::nanoseconds, const ArgumentList&) {
    return Result<std::string>("D:\\Q");
  };
  EXPECT_EQ(run_for_window(environment, args({}), location).message(),
            "安装包签名无效，未执行安装");
  EXPECT_TRUE(launcher.command_lines.empty());
  EXPECT_FALSE(shared.installing);
  EXPECT_EQ(files.files.at(kPackagePath), package) << "the package stays in the cache";
  verifier.finding = {0, {"Quarvel Test Publisher"}};
  EXPECT_TRUE(run_headless(environment, "D:\\Q", args({})).ok());
  EXPECT_EQ(launcher.command_lines.size(), 1u);
  EXPECT_EQ(verifier.paths, (std::vector<std::string>{kPackagePath, kPackagePath}));
}

TEST_F(InstallRun, TheSignatureIsCheckedOnlyOnAnIntactPackageAboutToStart) {
  FakeVerifier verifier;
  const PackageSignatureCheck check("Quarvel Test Publisher", verifier);
  environment.signature_check = &check;
  ASSERT_TRUE(run_headless(environment, "D:\\Q", args({"--download-only"})).ok());
  const LocationProvider altering = [this](std::chrono::nanoseconds, const ArgumentList&) {
    files.files[kPackagePath][10] ^= 1;
    return Result<std::string>("D:\\Quarvel");
  };
  EXPECT_EQ(run_for_window(environment, args({}), altering).message(),
            "安装包发生改变，未执行安装");
  EXPECT_TRUE(verifier.paths.empty());
}

// A scanner that holds the new package at the hand-over is waited out; one
// that holds it for too long ends the run with the system text, not with the
// text of a changed package, and a pause during the wait with the pause text.
TEST_F(InstallRun, AHeldPackageIsWaitedOutAtTheHandOver) {
  const struct {
    int held_calls;
    bool pause_in_wait;
    std::string outcome;  // empty: the setup starts
  } cases[] = {
      {2, false, ""},
      {-1, false, MemoryFileSystem::kSharingViolation},
      {-1, true, "下载已暂停，可重试继续下载"},
  };
  for (const auto& c : cases) {
    files.files.erase(kPackagePath);
    launcher.command_lines.clear();
    pause = false;
    const LocationProvider provider = [&](std::chrono::nanoseconds, const ArgumentList&) {
      files.held[kPackagePath] = {.calls = c.held_calls};
      return Result<std::string>("D:\\Quarvel");
    };
    clock.on_sleep = [&] { pause = c.pause_in_wait; };
    const RunOutcome outcome = run_for_window(environment, args({}), provider);
    EXPECT_EQ(outcome.ok() ? "" : outcome.message(), c.outcome);
    EXPECT_EQ(launcher.command_lines.size(), c.outcome.empty() ? 1u : 0u);
    EXPECT_EQ(files.files.at(kPackagePath), package);
  }
}

// Awake while the run downloads and starts the setup, not while the window
// waits for the location, and let go on every path.
TEST_F(InstallRun, KeepsTheMachineAwakeOnlyWhileTheRunWorks) {
  std::vector<int> holds;  // at the package request, the location, the setup start
  http.packages.replies.push_back(
      ScriptedReply{.on_open = [&] { holds.push_back(keep_awake.holds); }});
  launcher.on_run = [&] { holds.push_back(keep_awake.holds); };
  const LocationProvider provider = [&](std::chrono::nanoseconds, const ArgumentList&) {
    holds.push_back(keep_awake.holds);
    return Result<std::string>("D:\\Q");
  };
  ASSERT_TRUE(run_for_window(environment, args({}), provider).ok());
  EXPECT_EQ(holds, (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(keep_awake.holds, 0);
  launcher.answer = uint32_t{1};
  EXPECT_FALSE(run_headless(environment, "D:\\Q", args({})).ok());
  EXPECT_EQ(holds.back(), 1);
  EXPECT_EQ(keep_awake.holds, 0);
  http.manifest_status = 503;
  EXPECT_FALSE(run_headless(environment, "D:\\Q", args({})).ok());
  EXPECT_FALSE(run_for_window(environment, args({}), provider).ok());
  EXPECT_EQ(keep_awake.holds, 0);
}

TEST_F(InstallRun, ASetupStartRefusedForAMomentIsTriedAgain) {
  files.files[kPackagePath] = package;
  launcher.refused_starts = 5;
  const RunOutcome outcome = run_headless(environment, "D:\\Q", args({}));
  ASSERT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_EQ(launcher.command_lines.size(), 6u);

  launcher.refused_starts = 6;
  launcher.command_lines.clear();
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(),
            "无法启动安装：另一个程序正在使用此文件，进程无法访问。 (os error 32)");
  EXPECT_EQ(launcher.command_lines.size(), 6u);
}

// The package is opened once for the checks, sharing read only, and held
// until the setup has run (retried starts included): the signature is
// checked while it is held, and nothing can replace the package meanwhile.
TEST_F(InstallRun, ThePackageCheckedIsHeldUntilTheSetupHasRun) {
  FakeVerifier verifier;
  const PackageSignatureCheck check("Quarvel Test Publisher", verifier);
  environment.signature_check = &check;
  verifier.finding = {0, {"Quarvel Test Publisher"}, {}};
  verifier.on_verify = [&] { EXPECT_TRUE(files.denies_writes(kPackagePath)); };
  files.files[kPackagePath] = package;
  files.files["C:\\cache\\other.exe"] = "other";
  launcher.refused_starts = 2;
  std::vector<uint32_t> replacements;  // the system codes of the attempts during the starts
  launcher.on_run = [&] {
    replacements.push_back(
        files.open_write(kPackagePath, WriteMode::kTruncate).failure().system_error);
    replacements.push_back(files.remove_file(kPackagePath).failure().system_error);
    replacements.push_back(
        files.rename_replacing("C:\\cache\\other.exe", kPackagePath).failure().system_error);
  };
  ASSERT_TRUE(run_headless(environment, "D:\\Q", args({})).ok());
  EXPECT_EQ(launcher.command_lines.size(), 3u);
  EXPECT_EQ(replacements, std::vector<uint32_t>(9, 32));
  EXPECT_EQ(files.deny_write_opens, 1);
  EXPECT_EQ(verifier.paths.size(), 1u);
  EXPECT_TRUE(files.write_denied.empty()) << "released once the setup has run";
}

// A pause requested while the final checks run ends the run as a pause
// before them does, and the run never shows itself installing.
TEST_F(InstallRun, APauseDuringTheFinalChecksIsHonoured) {
  FakeVerifier verifier;
  const PackageSignatureCheck check("Quarvel Test Publisher", verifier);
  environment.signature_check = &check;
  verifier.finding = {0, {"Quarvel Test Publisher"}, {}};
  verifier.on_verify = [this] { pause = true; };
  EXPECT_EQ(run_headless(environment, "D:\\Q", args({})).message(), "下载已暂停，可重试继续下载");
  EXPECT_TRUE(launcher.command_lines.empty());
  EXPECT_FALSE(shared.installing);
}

// A build with manifest keys keeps the last accepted manifest and goes on
// with it through an outage, a refused answer or a rollback, each host passed
// over named in the network log.
TEST_F(InstallRun, TheKeptManifestOutlivesAnOutageARefusalAndARollback) {
  AcceptingVerifier verifier;
  const std::array<ManifestKey, 1> keys{{{kTestManifestKeyId, {}}}};
  environment.manifest_policy = {27, keys, &verifier};
  const nlohmann::json release = nlohmann::json::parse(http.manifest);
  const auto signed_body = [&](uint64_t serial, uint64_t build = 31) {
    nlohmann::json payload = release;
    payload["build"] = build;
    payload["url"] =
        std::string(kPackageUrl)
            .replace(std::string(kPackageUrl).find("b31"), 3, "b" + std::to_string(build));
    payload["serial"] = serial;
    payload["expires"] = "2030-01-01T00:00:00Z";  // the clock shows 2025-06-01
    nlohmann::json body = release;
    body["signed"] = base64_encode(payload.dump());
    body["signatures"] = {{{"key", kTestManifestKeyId}, {"sig", kAnySignature}}};
    return body.dump();
  };
  const std::string kept = "C:\\cache\\latest.json";
  const auto run = [&](std::string body, uint32_t status = 200) {
    http.manifest = std::move(body);
    http.manifest_status = status;
    const RunOutcome outcome = run_headless(environment, "D:\\Q", args({}));
    return outcome ? outcome.value()["manifest"].dump() : outcome.message();
  };
  EXPECT_EQ(run(signed_body(10)), R"({"serial":10,"source":"fetched"})");
  EXPECT_EQ(files.files[kept], signed_body(10));
  EXPECT_EQ(run("", 503), R"({"serial":10,"source":"kept"})");
  EXPECT_EQ(run(signed_body(9)), R"({"serial":10,"source":"kept"})");
  EXPECT_EQ(run(release.dump()), R"({"serial":10,"source":"kept"})");
  files.held[kept] = {};  // held by another program: never replaced, and no floor known
  EXPECT_EQ(run(signed_body(9)), R"({"serial":9,"source":"fetched"})");
  files.held.clear();
  EXPECT_EQ(files.files[kept], signed_body(10));
  EXPECT_EQ(run(signed_body(11)), R"({"serial":11,"source":"fetched"})");
  EXPECT_EQ(files.files[kept], signed_body(11));
  // Kept build 31 meets the rules no more, but its serial still holds off older ones.
  environment.manifest_policy.minimum_build = 32;
  EXPECT_EQ(run(signed_body(10, 32)), "版本信息比本机保存的旧（发布序号 10 低于 11），请稍后重试");
  EXPECT_EQ(files.files.size(), 3u)
      << "the package, the kept manifest and the log: no temporary file";
  environment.manifest_policy.minimum_build = 27;
  const std::string log = files.files["C:\\cache\\network.log"];
  for (const char* line :
       {"manifest=kept serial=10 expires=2030-01-01T00:00:00Z fetch=获取版本失败（HTTP 503）\n",
        "manifest host=releases.quarvel.test refused=版本信息比本机保存的旧（发布序号 9 低于 "
        "10），请稍后重试\n",
        "manifest host=releases.quarvel.test refused=版本信息未签名，无法确认来源\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  // A kept manifest that no configured key signed counts as none.
  files.files[kept].replace(files.files[kept].find("signatures"), 10, "signaturez");
  EXPECT_EQ(run("", 503), "获取版本失败（HTTP 503）");
  EXPECT_EQ(run(signed_body(5)), R"({"serial":5,"source":"fetched"})");
}

}  // namespace
}  // namespace quarvel
