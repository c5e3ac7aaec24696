// The install run: fetch and validate the manifest, download the package,
// hand over to the setup, report. Entered headless on the entry thread or
// for the window on its worker thread; one run at a time per process.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "core/arguments.h"
#include "core/clock.h"
#include "core/file_system.h"
#include "core/random_source.h"
#include "http/allowed_hosts.h"
#include "http/http_client.h"
#include "release/package_signature.h"
#include "release/signed_manifest.h"
#include "runner/admin_policy.h"
#include "runner/keep_awake.h"
#include "runner/run_outcome.h"
#include "runner/run_status.h"
#include "runner/setup_launch.h"
#include "runner/system_paths.h"

namespace quarvel {

class DownloadStats;

// Everything a run talks to; tests pass fakes.
struct RunEnvironment {
  HttpClient& http;  // admits every host of `hosts`
  // The build's hosts, after any mirrors of the administrator's policy.
  const AllowedHosts& hosts;
  FileSystem& files;
  MonotonicClock& clock;
  WallClock& wall_clock;
  RandomSource& random;
  // Held on the run's thread while it downloads, verifies and waits for the
  // setup; not while the window waits for the user to settle the location.
  KeepAwake& keep_awake;
  StatusReporter& status;
  SharedStatus& shared_status;
  const std::atomic<bool>& pause_requested;
  DownloadStats& stats;
  SystemPaths& paths;
  SetupLauncher& launcher;
  // The signer check a package must pass before it is started; nullptr in
  // builds that name no accepted signers, which start it unchecked.
  const PackageSignatureCheck* signature_check = nullptr;
  // The least build installed and, in builds with manifest keys, the keys
  // and the verifier of the signed manifest (no keys: the manifest is
  // trusted on TLS alone and nothing is kept).
  ManifestPolicy manifest_policy{};
  // The administrator's policies, read once at start (none: the build's
  // behaviour); their log lines open each run's network log.
  AdminPolicy policy{};
};

// The window's way of settling the install location once the download has
// finished (at the given monotonic time): the location, or a message.
using LocationProvider =
    std::function<Result<std::string>(std::chrono::nanoseconds download_finished,
                                      const ArgumentList&)>;

// The run's cache directory: the --cache-dir value verbatim, else
// LOCALAPPDATA joined with "Quarvel/Installer". "本机用户目录不可用" when
// LOCALAPPDATA is not set, with --cache-dir too.
Result<std::string> cache_directory(SystemPaths& paths, const ArgumentList& arguments);

// A headless run with a location already decided (taken unchecked).
RunOutcome run_headless(const RunEnvironment& environment,
                        const std::string& install_location,
                        const ArgumentList& arguments);

// A window run: after the download, asks the provider for the location.
RunOutcome run_for_window(const RunEnvironment& environment,
                          const ArgumentList& arguments,
                          const LocationProvider& location_provider);

// The process's real environment (Windows only): the machine's policies,
// WinHTTP with the build's hosts and the policy's mirrors, the file system,
// the clocks, SharedStatus with the progress file, the process records.
const RunEnvironment& process_run_environment();

}  // namespace quarvel
