// The run's manifest: fetched, verified, chosen against the kept one. Runs on
// the install run's thread.
#include "runner/manifest_selection.h"

#include "core/utc_time.h"
#include "http/manifest_fetch.h"
#include "http/transport_messages.h"
#include "release/signed_manifest.h"
#include "runner/cache_files.h"
#include "runner/install_run.h"
#include "runner/kept_manifest.h"

namespace quarvel {
namespace {

// Today's manifest, trusted on TLS alone.
Result<SelectedManifest> select_unsigned(const RunEnvironment& environment,
                                         const Result<std::string>& body,
                                         const Result<std::string>& cache_dir) {
  if (!body)
    return body.failure();
  Result<ReleaseManifest> manifest = parse_release_manifest(
      *body, environment.hosts.build_package_hosts(), environment.manifest_policy.minimum_build);
  if (!manifest)
    return manifest.failure();
  if (!cache_dir)
    return cache_dir.failure();
  return SelectedManifest{std::move(manifest).value(), cache_dir.value(), std::nullopt};
}

// The kept manifest, verified as a fetched one is (its expiry aside, which
// the choice weighs); nullopt when none is there or it does not verify.
std::optional<SignedManifest> kept_manifest(const RunEnvironment& environment,
                                            const std::string& cache_dir) {
  const std::optional<std::string> text = read_kept_manifest(environment.files, cache_dir);
  if (!text)
    return std::nullopt;
  Result<SignedManifest> kept = accept_signed_manifest(
      *text, environment.hosts.build_package_hosts(), environment.manifest_policy);
  if (!kept)
    return std::nullopt;
  return std::move(kept).value();
}

// "manifest=SOURCE serial=N expires=T", and for a kept one why the fetched
// one was not used: "fetch=MESSAGE" or "fetched-serial=M".
std::string log_line(ManifestSource source,
                     const SignedManifest& used,
                     const std::optional<SignedManifest>& fetched,
                     const Result<std::string>& body) {
  std::string line = std::string("manifest=") + manifest_source_name(source) +
                     " serial=" + std::to_string(used.serial) +
                     " expires=" + format_utc_time(used.expires);
  if (source == ManifestSource::kKept) {
    line +=
        fetched ? " fetched-serial=" + std::to_string(fetched->serial) : " fetch=" + body.message();
  }
  return line;
}

Result<SelectedManifest> select_signed(const RunEnvironment& environment,
                                       const Result<std::string>& body,
                                       const Result<std::string>& cache_dir) {
  std::optional<SignedManifest> fetched;
  if (body) {
    // A text that was received and refused is never replaced by the kept one.
    Result<SignedManifest> accepted = accept_signed_manifest(
        *body, environment.hosts.build_package_hosts(), environment.manifest_policy);
    if (!accepted)
      return accepted.failure();
    fetched = std::move(accepted).value();
  } else if (!release_host_unavailable(body.failure())) {
    return body.failure();
  }
  if (!cache_dir)
    return body ? cache_dir.failure() : body.failure();
  const std::optional<SignedManifest> kept = kept_manifest(environment, *cache_dir);
  const int64_t now = unix_seconds_of_file_time(environment.wall_clock.file_time_now());
  const Result<ManifestChoice> choice =
      choose_manifest(fetched ? &*fetched : nullptr, kept ? &*kept : nullptr, now,
                      body ? Failure{} : body.failure());
  if (!choice)
    return choice.failure();
  const SignedManifest& used = choice->source == ManifestSource::kKept ? *kept : *fetched;
  // Kept first: keeping makes the cache directory that the log lies in.
  // Not kept, the next run has only the release host to go by; this run
  // goes on with what it verified.
  const Status kept_now =
      choice->replaces_kept
          ? keep_manifest(environment.files, environment.random, *cache_dir, *body)
          : Status(Ok{});
  append_network_log(environment.files, *cache_dir, log_line(choice->source, used, fetched, body));
  if (!kept_now)
    append_network_log(environment.files, *cache_dir, "manifest not kept: " + kept_now.message());
  return SelectedManifest{used.manifest, *cache_dir, ManifestUse{choice->source, used.serial}};
}

}  // namespace

bool release_host_unavailable(const Failure& fetch_failure) {
  return fetch_failure.message != kDownloadPausedMessage &&
         fetch_failure.message != kManifestTooLargeMessage;
}

Result<SelectedManifest> select_release_manifest(const RunEnvironment& environment,
                                                 const Result<std::string>& cache_dir) {
  const Result<std::string> body =
      fetch_release_manifest(environment.http, environment.hosts, environment.pause_requested);
  if (environment.manifest_policy.keys.empty())
    return select_unsigned(environment, body, cache_dir);
  return select_signed(environment, body, cache_dir);
}

}  // namespace quarvel
