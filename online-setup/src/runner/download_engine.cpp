#include "runner/download_engine.h"

#include "core/contention_retry.h"
#include "release/package_verification.h"
#include "runner/cache_files.h"
#include "runner/download_texts.h"
#include "runner/segment_transfer.h"

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
// empties one that is complete but wrong or larger than the package.
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
  }
  if (Status emptied = empty_file(env.files, partial); !emptied)
    return emptied.failure();
  return PartialFileState{false, 0};
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

}  // namespace

Result<std::string> download_package(const DownloadEnvironment& env,
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

  const uint64_t start = state->start_offset;
  auto opened =
      env.files.open_write(partial, start > 0 ? WriteMode::kAppend : WriteMode::kTruncate);
  if (!opened)
    return opened.failure();
  const Status transferred =
      transfer_missing_bytes(env, cache_dir, manifest, std::move(*opened), start);
  if (!transferred)
    return transferred.failure();
  return publish_download(env, manifest, partial, package);
}

}  // namespace quarvel
