#include "runner/install_run.h"

#include "core/contention_retry.h"
#include "core/paths.h"
#include "release/package_verification.h"
#include "runner/cache_files.h"
#include "runner/download_engine.h"
#include "runner/manifest_selection.h"
#include "runner/success_report.h"

namespace quarvel {
namespace {

// What the common first part of both variants hands on.
struct Downloaded {
  ReleaseManifest manifest;
  std::string package_path;
  std::optional<ManifestUse> manifest_use;  // builds with manifest keys only
};

// The policy values the run goes by (or ignores) open its network log; the
// cache directory is made for them.
void log_policy(const RunEnvironment& environment, const Result<std::string>& cache_dir) {
  if (!cache_dir || environment.policy.log_lines.empty())
    return;
  (void)environment.files.create_directories(*cache_dir);  // without it the lines are dropped
  for (const std::string& line : environment.policy.log_lines)
    append_network_log(environment.files, *cache_dir, line);
}

Result<Downloaded> fetch_and_download(const RunEnvironment& environment,
                                      const ArgumentList& arguments) {
  environment.status.note_manifest(std::nullopt);  // none yet in this run
  environment.status.note_sources(std::nullopt);
  environment.status.set_status("正在获取最新的 Quarvel 1.02…", 0);
  const Result<std::string> cache_dir = cache_directory(environment.paths, arguments);
  log_policy(environment, cache_dir);
  Result<SelectedManifest> selected = select_release_manifest(environment, cache_dir);
  if (!selected)
    return selected.failure();
  environment.status.note_manifest(selected->use);
  const DownloadEnvironment download{environment.http,
                                     environment.files,
                                     environment.clock,
                                     environment.wall_clock,
                                     environment.random,
                                     environment.status,
                                     environment.pause_requested,
                                     environment.stats,
                                     &environment.hosts,
                                     environment.policy.download_rate_cap()};
  Result<std::string> package = download_package(download, selected->cache_dir, selected->manifest);
  if (!package)
    return package.failure();
  return Downloaded{std::move(selected->manifest), std::move(package).value(), selected->use};
}

// The run's text for a pause after the download.
constexpr char kPausedText[] = "下载已暂停，可重试继续下载";

// The checks right before the setup starts: the package still matches the
// manifest (the countdown and any editing lie between the download and
// here), and in builds that name signers it carries an accepted signature.
// The package is opened once for all of them, sharing read only, and the
// open file is returned: held until the setup has run (its start, retries
// included), it keeps anything else from writing, renaming or deleting the
// file that was checked. A scanner holding the package is waited out; a
// pause ends the wait.
Result<std::unique_ptr<ReadableFile>> check_before_start(const RunEnvironment& environment,
                                                         const Downloaded& downloaded) {
  const ContentionRetry retry{environment.clock, environment.pause_requested, kPausedText};
  Result<std::unique_ptr<ReadableFile>> package = retry_on_contention(retry, [&] {
    return open_verified_package(environment.files, downloaded.package_path, downloaded.manifest);
  });
  if (!package)
    return package.failure();
  if (package.value() == nullptr)
    return Failure{"安装包发生改变，未执行安装"};
  if (environment.signature_check != nullptr) {
    const Status signature = environment.signature_check->check(downloaded.package_path, **package);
    if (!signature)
      return signature.failure();
  }
  return package;
}

// Sets the install status, unless a pause was requested meanwhile (during the
// checks, say): the request is looked at again under the lock that sets
// installing, and the window refuses a pause once it sees installing.
Status begin_installing(const RunEnvironment& environment) {
  // A direct write: the progress file never shows the install status.
  const std::lock_guard lock(environment.shared_status.mutex);
  if (environment.pause_requested.load())
    return Failure{kPausedText};
  environment.shared_status.installing = true;
  environment.shared_status.percent = 96;
  environment.shared_status.text = "正在安装，请稍候…";
  return Ok{};
}

// From the settled location to the started setup and the success report.
RunOutcome hand_over(const RunEnvironment& environment,
                     const Downloaded& downloaded,
                     const std::string& install_location,
                     const ArgumentList& arguments) {
  if (!has_switch(arguments, "--download-only")) {
    if (environment.pause_requested.load())
      return Failure{kPausedText};
    const Result<std::unique_ptr<ReadableFile>> checked =
        check_before_start(environment, downloaded);
    if (!checked)
      return checked.failure();
    if (const Status installing = begin_installing(environment); !installing) {
      return installing.failure();
    }
    // Nothing requests a pause while the setup starts (the window refuses it
    // once installing), so a start held up for too long reports its own error.
    // The checked package stays held open until the setup has run.
    const ContentionRetry start_retry{environment.clock, environment.pause_requested, {}};
    const Status launched = launch_setup(environment.launcher, start_retry, downloaded.package_path,
                                         install_location, arguments);
    if (!launched)
      return launched.failure();
  }
  nlohmann::json report = build_success_report(downloaded.manifest, downloaded.package_path,
                                               install_location, arguments, environment.stats);
  if (downloaded.manifest_use)
    report["manifest"] = manifest_use_json(*downloaded.manifest_use);
  return report;
}

}  // namespace

Result<std::string> cache_directory(SystemPaths& paths, const ArgumentList& arguments) {
  const std::optional<std::string> given = switch_value(arguments, "--cache-dir");
  const std::optional<std::string> local = paths.local_app_data();
  if (!local)
    return Failure{"本机用户目录不可用"};
  return given ? *given : join_path(*local, "Quarvel/Installer");
}

RunOutcome run_headless(const RunEnvironment& environment,
                        const std::string& install_location,
                        const ArgumentList& arguments) {
  const KeepAwakeScope awake(environment.keep_awake);
  const Result<Downloaded> downloaded = fetch_and_download(environment, arguments);
  if (!downloaded)
    return downloaded.failure();
  return hand_over(environment, downloaded.value(), install_location, arguments);
}

RunOutcome run_for_window(const RunEnvironment& environment,
                          const ArgumentList& arguments,
                          const LocationProvider& location_provider) {
  const Result<Downloaded> downloaded = [&] {
    const KeepAwakeScope awake(environment.keep_awake);
    return fetch_and_download(environment, arguments);
  }();
  if (!downloaded)
    return downloaded.failure();
  // The machine may sleep while the window waits for the user (as long as the box has the focus).
  const Result<std::string> location = location_provider(environment.clock.now(), arguments);
  if (!location)
    return location.failure();
  const KeepAwakeScope awake(environment.keep_awake);
  return hand_over(environment, downloaded.value(), location.value(), arguments);
}

}  // namespace quarvel
