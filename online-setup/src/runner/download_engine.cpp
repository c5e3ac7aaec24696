#include "runner/download_engine.h"

#include "core/contention_retry.h"
#include "release/package_verification.h"
#include "runner/cache_cleanup.h"
#include "runner/cache_files.h"
#include "runner/download_texts.h"
#include "runner/kept_chunk_map.h"
#include "runner/partial_file_check.h"
#include "runner/segment_transfer.h"
#include "runner/upgrade_base.h"

namespace quarvel {
namespace {

// Where the transfer starts, or that the partial file was complete and has
// already become the package file.
struct PartialFileState {
  bool published = false;
  uint64_t start_offset = 0;
};

// The operations a scanner holding a cache file can hold up are tried again
// for a while; a pause during a wait ends the download with its pause text.
ContentionRetry contention_retry(const DownloadEnvironment& env) {
  return {env.clock, env.pause_requested, kDownloadPausedText};
}

Result<bool> verify(const DownloadEnvironment& env,
                    const std::string& path,
                    const ReleaseManifest& manifest) {
  return retry_on_contention(contention_retry(env),
                             [&] { return verify_package(env.files, path, manifest); });
}

Status move_over(const DownloadEnvironment& env, const std::string& from, const std::string& to) {
  return retry_on_contention(contention_retry(env),
                             [&] { return env.files.rename_replacing(from, to); });
}

Status delete_file(const DownloadEnvironment& env, const std::string& path) {
  return retry_on_contention(contention_retry(env), [&] { return env.files.remove_file(path); });
}

Status empty_file(FileSystem& files, const std::string& path) {
  auto emptied = files.open_write(path, WriteMode::kTruncate);
  if (!emptied)
    return emptied.failure();
  return Ok{};
}

// Resumes a shorter partial file, publishes a complete one that verifies, and
// empties one that is larger than the package, or complete but wrong unless a
// chunk map can tell its bad chunks from its good ones.
Result<PartialFileState> reconcile_partial_file(const DownloadEnvironment& env,
                                                const ReleaseManifest& manifest,
                                                const std::string& partial,
                                                const std::string& package) {
  const uint64_t existing = env.files.file_size(partial).value_or(0);
  if (existing < manifest.bytes)
    return PartialFileState{false, existing};
  if (existing == manifest.bytes) {
    const Result<bool> complete = verify(env, partial, manifest);
    if (!complete)
      return complete.failure();
    if (*complete) {
      if (Status moved = move_over(env, partial, package); !moved) {
        return moved.failure();
      }
      env.stats.reset(manifest.bytes);
      return PartialFileState{true, manifest.bytes};
    }
    if (manifest.chunk_map)
      return PartialFileState{false, existing};
  }
  if (Status emptied = empty_file(env.files, partial); !emptied)
    return emptied.failure();
  return PartialFileState{false, 0};
}

// Where the transfer resumes a partial file of `size` bytes: what the check
// against the map keeps, the file cut back to it. One network-log line tells
// what was kept, and which chunk did not match.
Result<uint64_t> checked_resume_offset(const DownloadEnvironment& env,
                                       const std::string& cache_dir,
                                       const std::string& partial,
                                       uint64_t size,
                                       const ChunkMap& map) {
  if (size == 0)
    return uint64_t{0};
  const Result<PartialFileVerdict> verdict = check_partial_file(env, partial, size, map);
  if (!verdict)
    return verdict.failure();
  if (verdict->kept < size) {
    if (Status cut = env.files.truncate_file(partial, verdict->kept); !cut)
      return cut.failure();
  }
  std::optional<ByteRange> mismatch;
  if (verdict->mismatch)
    mismatch = ByteRange{verdict->mismatch->offset,
                         verdict->mismatch->offset + verdict->mismatch->length - 1};
  append_network_log(env.files, cache_dir, partial_check_log_line(size, verdict->kept, mismatch));
  return verdict->kept;
}

// Verifies the complete partial file and moves it over the package name; a
// partial file that does not verify is deleted.
Result<std::string> publish_download(const DownloadEnvironment& env,
                                     const ReleaseManifest& manifest,
                                     const std::string& partial,
                                     const std::string& package) {
  env.status.set_status(kVerifyingText, kVerifyingPercent);
  const Result<bool> verified = verify(env, partial, manifest);
  if (!verified)
    return verified.failure();
  if (!*verified) {
    if (Status removed = env.files.remove_file(partial); !removed)
      return removed.failure();
    return Failure{std::string(kPackageCorruptText)};
  }
  if (env.files.file_size(package)) {
    if (Status removed = delete_file(env, package); !removed)
      return removed.failure();
  }
  if (Status moved = move_over(env, partial, package); !moved)
    return moved.failure();
  return package;
}

// The upgrade from the newest cached package of another build that has its
// map, with its plan from `start` in the network log; none without one.
void prepare_upgrade(std::optional<UpgradeAssembly>& assembly,
                     const DownloadEnvironment& env,
                     const std::string& cache_dir,
                     const ReleaseManifest& manifest,
                     const ChunkMap& map,
                     uint64_t start) {
  std::optional<UpgradeBase> base = find_upgrade_base(env.files, cache_dir, manifest);
  if (!base || start >= manifest.bytes)
    return;
  assembly.emplace(env.files, std::move(*base), map.chunks);
  const UpgradeCost plan = assembly->planned_from(start);
  append_network_log(
      env.files, cache_dir,
      base_plan_log_line(assembly->base_name(), plan.copied, plan.fetched, plan.ranges));
}

// Fetches what the partial file lacks (with a map, each chunk checked, and
// copied from a cached package of another build where one has it). The
// base is closed when this returns, before the package takes its name.
Status transfer_package(const DownloadEnvironment& env,
                        const std::string& cache_dir,
                        const ReleaseManifest& manifest,
                        const std::optional<ChunkMap>& map,
                        uint64_t start,
                        DownloadRequests& requests) {
  const TransferTarget target{TransferKind::kPackage, partial_path(cache_dir, manifest),
                              manifest.bytes};
  if (!map)
    return transfer_missing_bytes(env, cache_dir, target, start, requests, nullptr);
  ChunkCheck check(map->chunks, start);
  std::optional<UpgradeAssembly> assembly;
  prepare_upgrade(assembly, env, cache_dir, manifest, *map, start);
  return transfer_missing_bytes(env, cache_dir, target, start, requests, &check,
                                assembly ? &*assembly : nullptr);
}

// The package just verified is the newest base: older builds leave the cache.
Result<std::string> keep_one_base(const DownloadEnvironment& env,
                                  const std::string& cache_dir,
                                  const ReleaseManifest& manifest,
                                  Result<std::string> package) {
  if (package)
    remove_older_builds(env.files, cache_dir, manifest.build);
  return package;
}

// The verified package: found, published from a complete partial file, or
// downloaded.
Result<std::string> fetch_package(const DownloadEnvironment& env,
                                  const std::string& cache_dir,
                                  const ReleaseManifest& manifest) {
  if (Status made = env.files.create_directories(cache_dir); !made)
    return made.failure();
  const std::string package = package_path(cache_dir, manifest);
  const std::string partial = partial_path(cache_dir, manifest);

  const Result<bool> cached = verify(env, package, manifest);
  if (!cached)
    return cached.failure();
  if (*cached) {
    env.stats.reset(manifest.bytes);
    env.status.set_status(kPackageFoundText, kPackageFoundPercent);
    return package;
  }

  const Result<PartialFileState> state = reconcile_partial_file(env, manifest, partial, package);
  if (!state)
    return state.failure();
  if (state->published)
    return package;

  DownloadRequests requests{
      PackageHostChoice(env.hosts ? std::span<const std::string>(env.hosts->package_hosts)
                                  : std::span<const std::string>(),
                        env.hosts ? env.hosts->package_mirrors : 0, manifest.url)};
  uint64_t start = state->start_offset;
  std::optional<ChunkMap> map;
  if (manifest.chunk_map) {
    Result<ChunkMap> obtained = obtain_chunk_map(env, cache_dir, manifest, start, requests);
    if (!obtained)
      return obtained.failure();
    map = std::move(obtained).value();
    const Result<uint64_t> resumed = checked_resume_offset(env, cache_dir, partial, start, *map);
    if (!resumed)
      return resumed.failure();
    start = *resumed;
  }
  if (Status transferred = transfer_package(env, cache_dir, manifest, map, start, requests);
      !transferred) {
    return transferred.failure();
  }
  return publish_download(env, manifest, partial, package);
}

}  // namespace

Result<std::string> download_package(const DownloadEnvironment& env,
                                     const std::string& cache_dir,
                                     const ReleaseManifest& manifest) {
  return keep_one_base(env, cache_dir, manifest, fetch_package(env, cache_dir, manifest));
}

}  // namespace quarvel
