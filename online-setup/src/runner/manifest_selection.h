// The run's first step: the release manifest it goes on with. Without
// manifest keys, the fetched manifest as the rules accept it; with them, the
// signed one that the fetch, the kept manifest and their serials and expiry
// decide, kept for later runs and named in the network log. Runs on the
// install run's thread.
#pragma once

#include <optional>
#include <string>

#include "core/result.h"
#include "release/manifest_choice.h"
#include "release/release_manifest.h"

namespace quarvel {

struct RunEnvironment;

struct SelectedManifest {
  ReleaseManifest manifest;
  std::string cache_dir;
  // Which signed manifest was used; nullopt in builds without manifest keys.
  std::optional<ManifestUse> use;
};

// Whether a failed manifest fetch means that the release host could not be
// reached or answered with an error (the transport's messages, and
// "获取版本失败（HTTP N）" for any status but 200), as opposed to a pause
// or an answer that was received and refused ("版本信息过大").
bool release_host_unavailable(const Failure& fetch_failure);

// Fetches the manifest and settles the one the run uses. `cache_dir` is the
// run's cache directory or its message. Fails with the fetch's message, a
// refusal of the fetched text (the rules', or in builds with keys the
// signature's and the clock's), the cache directory's message, or in builds
// with keys the rollback message; an unavailable release host fails the run
// only when no unexpired kept manifest verifies.
Result<SelectedManifest> select_release_manifest(const RunEnvironment& environment,
                                                 const Result<std::string>& cache_dir);

}  // namespace quarvel
