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
                                         const Result<std::string>& cache_dir) {
  const Result<std::string> body = fetch_release_manifest(
      environment.http, environment.hosts, environment.pause_requested, environment.clock);
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

// "manifest host=NAME refused=MESSAGE" or "... failed=MESSAGE".
std::string passed_over_line(const PassedOverHost& host) {
  return "manifest host=" + host.host + (host.refused ? " refused=" : " failed=") + host.reason;
}

// "manifest=SOURCE serial=N expires=T", and for a kept one why no fetched one
// was used: "fetch=MESSAGE", or "fetched-serial=M" for one that was accepted
// but is not the release kept.
std::string choice_line(ManifestSource source,
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

// "manifest used past its expiry under policy OfflineGraceDays=N until T":
// the line after the choice's when the grace carried the run.
std::string past_expiry_line(const PastExpiry& past_expiry) {
  return "manifest used past its expiry under policy OfflineGraceDays=" +
         std::to_string(past_expiry.grace_days) + " until " +
         format_utc_time(past_expiry.grace_ends());
}

// The release hosts' answers judged against the kept manifest at `now`: the
// fetch, and the manifest of the body it took.
struct SignedFetch {
  JudgedManifestFetch fetch;
  std::optional<SignedManifest> accepted;
};

SignedFetch fetch_signed(const RunEnvironment& environment, const KeptManifest& kept, int64_t now) {
  SignedFetch result;
  const ManifestJudge judge = [&](const std::string& body) -> Status {
    Result<SignedManifest> accepted = accept_signed_manifest(
        body, environment.hosts.build_package_hosts(), environment.manifest_policy);
    if (!accepted)
      return accepted.failure();
    if (const Status admitted = admit_fetched_manifest(*accepted, kept, now); !admitted)
      return admitted;
    result.accepted = std::move(accepted).value();
    return Ok{};
  };
  result.fetch = fetch_judged_manifest(environment.http, environment.hosts,
                                       environment.pause_requested, environment.clock, judge);
  return result;
}

// Keeps the fetched manifest when the choice says so and writes the network
// log's lines: the hosts passed over, then the manifest used (or nothing
// more when the choice failed).
void keep_and_log(const RunEnvironment& environment,
                  const std::string& cache_dir,
                  const Result<ManifestChoice>& choice,
                  const SignedFetch& fetched,
                  const SignedManifest* used,
                  const std::optional<PastExpiry>& past_expiry) {
  // Kept first: keeping makes the cache directory that the log lies in.
  // Not kept, the next run has only the release host to go by; this run
  // goes on with what it verified.
  const Status kept_now =
      choice && choice->replaces_kept
          ? keep_manifest(environment.files, environment.random, cache_dir, *fetched.fetch.body)
          : Status(Ok{});
  for (const PassedOverHost& host : fetched.fetch.passed_over)
    append_network_log(environment.files, cache_dir, passed_over_line(host));
  if (!choice)
    return;
  append_network_log(environment.files, cache_dir,
                     choice_line(choice->source, *used, fetched.accepted, fetched.fetch.body));
  if (past_expiry)
    append_network_log(environment.files, cache_dir, past_expiry_line(*past_expiry));
  if (!kept_now)
    append_network_log(environment.files, cache_dir, "manifest not kept: " + kept_now.message());
}

Result<SelectedManifest> select_signed(const RunEnvironment& environment,
                                       const Result<std::string>& cache_dir) {
  const KeptManifest kept = cache_dir ? read_kept_manifest(environment.files, *cache_dir,
                                                           environment.hosts.build_package_hosts(),
                                                           environment.manifest_policy)
                                      : KeptManifest{};
  const int64_t now = unix_seconds_of_file_time(environment.wall_clock.file_time_now());
  const SignedFetch fetched = fetch_signed(environment, kept, now);
  const Result<std::string>& body = fetched.fetch.body;
  if (!body && body.message() == kDownloadPausedMessage)
    return body.failure();
  if (!cache_dir)
    return body ? cache_dir.failure() : body.failure();
  const uint32_t grace_days = environment.policy.offline_grace_days.value_or(0);
  const Result<ManifestChoice> choice =
      choose_manifest(fetched.accepted ? &*fetched.accepted : nullptr, kept, now,
                      body ? Failure{} : body.failure(), grace_days);
  const SignedManifest* used = !choice                                   ? nullptr
                               : choice->source == ManifestSource::kKept ? &*kept.manifest
                                                                         : &*fetched.accepted;
  const std::optional<PastExpiry> past_expiry =
      choice && choice->past_expiry ? std::optional(PastExpiry{used->expires, grace_days})
                                    : std::nullopt;
  keep_and_log(environment, *cache_dir, choice, fetched, used, past_expiry);
  if (!choice)
    return choice.failure();
  return SelectedManifest{used->manifest, *cache_dir,
                          ManifestUse{choice->source, used->serial, past_expiry}};
}

}  // namespace

Result<SelectedManifest> select_release_manifest(const RunEnvironment& environment,
                                                 const Result<std::string>& cache_dir) {
  if (environment.manifest_policy.keys.empty())
    return select_unsigned(environment, cache_dir);
  return select_signed(environment, cache_dir);
}

}  // namespace quarvel
