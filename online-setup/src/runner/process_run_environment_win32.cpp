// The process's real run environment, built once: the machine's policies,
// WinHTTP with the configured hosts after the policy's mirrors, the file
// system, the clocks, the random source, the keep-awake request, SharedStatus
// with the progress file, the process-wide records, the signer check when the
// build names signers, and the manifest keys and least build the build was
// configured with.
#include "core/clock.h"
#include "core/file_system.h"
#include "core/process_arguments.h"
#include "core/random_source.h"
#include "http/https_client.h"
#include "release/package_signature.h"
#include "release/signed_manifest.h"
#include "runner/download_stats.h"
#include "runner/install_run.h"

namespace quarvel {

const RunEnvironment& process_run_environment() {
  static SharedStatusReporter reporter(shared_status(), system_file_system(),
                                       system_random_source(), process_arguments());
  static const PackageSignatureCheck signature_check(configured_package_signers(),
                                                     system_signature_verifier());
  static const AdminPolicy policy = read_machine_policy(configured_hosts());
  static const AllowedHosts hosts =
      with_mirrors(configured_hosts(), policy.release_hosts, policy.package_hosts);
  static HttpsClient http(system_http_connector(), hosts, system_wall_clock());
  static const RunEnvironment environment{
      .http = http,
      .hosts = hosts,
      .files = system_file_system(),
      .clock = system_monotonic_clock(),
      .wall_clock = system_wall_clock(),
      .random = system_random_source(),
      .keep_awake = system_keep_awake(),
      .status = reporter,
      .shared_status = shared_status(),
      .pause_requested = pause_requested(),
      .stats = download_stats(),
      .paths = system_paths(),
      .launcher = system_setup_launcher(),
      .signature_check = configured_package_signers().empty() ? nullptr : &signature_check,
      .manifest_policy = {configured_minimum_build(), configured_manifest_keys(),
                          configured_manifest_keys().empty() ? nullptr
                                                             : &system_manifest_verifier()},
      .policy = policy,
  };
  return environment;
}

}  // namespace quarvel
